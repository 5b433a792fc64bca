#!/usr/bin/env bash
# Builds the Debian package from a build folder, installs it into a scratch root with dpkg and
# checks what it put there: the program folder, the links in /usr/bin, the desktop entry, the
# icons and the man pages, and that the installed terminal starts (offscreen) from its own
# folder.
#   packaging/check-package.sh <build folder>
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
scratch=$(mktemp -d)
trap 'kill "${terminal:-}" 2>/dev/null || true; rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1) ||
    { cat "$scratch/cpack.log"; fail "cpack"; }
package=$(ls "$scratch"/out/bvterm_*_*.deb)
echo "package: $(basename "$package")"

# Named and versioned by the project; depends on the Qt 6 runtime, never on -dev packages.
fields=$(dpkg-deb --field "$package" Package Version Depends)
echo "$fields"
grep -q '^Package: bvterm$' <<<"$fields" || fail "package name"
grep -Eq '^Version: [0-9]+\.[0-9]+\.[0-9]+' <<<"$fields" || fail "version"
grep -q 'libqt6serialport6' <<<"$fields" || fail "no dependency on the Qt serial port runtime"
grep -q 'libqt6widgets6' <<<"$fields" || fail "no dependency on the Qt widgets runtime"
grep -q 'libqt6charts6' <<<"$fields" || fail "no dependency on the Qt charts runtime"
! grep -q -- '-dev' <<<"$fields" || fail "depends on a -dev package"

# Install into the scratch root with dpkg (its own database there; the runtime libraries are
# the machine's).
root="$scratch/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
dpkg --root="$root" --force-not-root --force-depends --log=/dev/null -i "$package" \
    >"$scratch/dpkg.log" 2>&1 || { cat "$scratch/dpkg.log"; fail "dpkg -i"; }

for file in usr/lib/bvterm/bvterm usr/lib/bvterm/bvterm-sim; do
    [ -x "$root/$file" ] && [ ! -L "$root/$file" ] || fail "$file is not an executable file"
done
for link in bvterm bvterm-sim; do
    [ -L "$root/usr/bin/$link" ] || fail "/usr/bin/$link is not a link"
    [ "$(readlink "$root/usr/bin/$link")" = "../lib/bvterm/$link" ] || fail "/usr/bin/$link points elsewhere"
    [ -x "$root/usr/bin/$link" ] || fail "/usr/bin/$link does not reach its program"
done
[ -f "$root/usr/share/applications/bvterm.desktop" ] || fail "no desktop entry"
grep -q '^Exec=bvterm$' "$root/usr/share/applications/bvterm.desktop" || fail "desktop entry Exec"
grep -q '^Icon=bvterm$' "$root/usr/share/applications/bvterm.desktop" || fail "desktop entry Icon"
for size in 16 32 48 64 128 256; do
    [ -f "$root/usr/share/icons/hicolor/${size}x${size}/apps/bvterm.png" ] || fail "no ${size}px icon"
done
for page in bvterm bvterm-sim; do
    gzip -t "$root/usr/share/man/man1/$page.1.gz" || fail "man page $page"
done
[ ! -e "$root/usr/lib/bvterm/BVTermHelp.chm" ] || fail "the package must not bring the help file"
dpkg --root="$root" --force-not-root -L bvterm >/dev/null || fail "dpkg does not know the package"

# The installed terminal starts through its link and runs from its own folder, which is where
# it looks for BVTermHelp.chm and where its file dialogs start.
QT_QPA_PLATFORM=offscreen XDG_DATA_HOME="$scratch/data" XDG_RUNTIME_DIR="$scratch" \
    "$root/usr/bin/bvterm" >"$scratch/terminal.log" 2>&1 &
terminal=$!
for _ in $(seq 50); do
    [ -e "/proc/$terminal/exe" ] && [ "$(readlink "/proc/$terminal/exe")" = "$root/usr/lib/bvterm/bvterm" ] && break
    sleep 0.1
done
sleep 1
kill -0 "$terminal" 2>/dev/null || { cat "$scratch/terminal.log"; fail "the installed terminal did not keep running"; }
folder=$(dirname "$(readlink "/proc/$terminal/exe")")
[ "$folder" = "$root/usr/lib/bvterm" ] || fail "the terminal runs from $folder"
echo "installed terminal runs from ${folder#$root}"
kill "$terminal"
echo "package checks passed"
