#!/usr/bin/env bash
# Puts the cross-built terminal together with what it needs to run (the Qt DLLs, the MinGW
# runtime, the windows platform and windowsvista style plugins) into BUILD/stage/BVTerm, and
# writes from it BUILD/bvterm-VERSION-windows-x64.zip and the installer
# BUILD/bvterm-VERSION-windows-x64-setup.exe.
#   package.sh BUILD QT-PREFIX
set -euo pipefail
build=$(cd "$1" && pwd)
qt=$2
here=$(cd "$(dirname "$0")" && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=bvterm-$version-windows-x64
stage=$build/stage/BVTerm

rm -rf "$build/stage"
mkdir -p "$stage/platforms" "$stage/styles"
cp "$build/bvterm.exe" "$stage/"
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"

# Every DLL that the program and the plugins import, and those import in turn, found among
# Qt's and MinGW's; the rest are Windows' own.
compiler=x86_64-w64-mingw32-g++-posix
search=("$qt/bin" "$(dirname "$($compiler -print-file-name=libstdc++-6.dll)")"
        "$(dirname "$($compiler -print-file-name=libwinpthread-1.dll)")")
while :; do
    added=0
    while read -r dll; do
        [ -e "$stage/$dll" ] && continue
        for folder in "${search[@]}"; do
            if [ -e "$folder/$dll" ]; then
                cp "$folder/$dll" "$stage/"
                added=1
                break
            fi
        done
    done < <(find "$stage" -iname '*.exe' -o -iname '*.dll' | xargs -r x86_64-w64-mingw32-objdump -p |
             sed -n 's/^\s*DLL Name: //p' | sort -u)
    ((added)) || break
done
x86_64-w64-mingw32-strip --strip-unneeded "$stage"/*.exe "$stage"/*.dll "$stage"/*/*.dll

rm -f "$build/$name.zip"
(cd "$build/stage" && cmake -E tar cf "$build/$name.zip" --format=zip BVTerm)

# The installer installs exactly the staged files, and its uninstaller removes exactly those.
: >"$build/stage/install.nsh"
: >"$build/stage/uninstall.nsh"
(cd "$stage" && find . -type d | sort) | while read -r folder; do
    folder=${folder#.}
    echo "SetOutPath \"\$INSTDIR${folder//\//\\}\"" >>"$build/stage/install.nsh"
    find "$stage$folder" -maxdepth 1 -type f | sort | while read -r file; do
        echo "File \"$file\"" >>"$build/stage/install.nsh"
        relative=${file#"$stage"}
        echo "Delete \"\$INSTDIR${relative//\//\\}\"" >>"$build/stage/uninstall.nsh"
    done
done
# Folders last, deepest first; each goes only when empty, so a file of the user's keeps it.
(cd "$stage" && find . -mindepth 1 -type d | sort -r) | while read -r folder; do
    folder=${folder#.}
    echo "RMDir \"\$INSTDIR${folder//\//\\}\"" >>"$build/stage/uninstall.nsh"
done
makensis -INPUTCHARSET UTF8 -V2 -DVERSION="$version" -DOUTFILE="$build/$name-setup.exe" \
    -DICON="$here/../../app/icons/bvterm.ico" -DINSTALL_LIST="$build/stage/install.nsh" \
    -DUNINSTALL_LIST="$build/stage/uninstall.nsh" "$here/bvterm.nsi"
ls -l "$build/$name.zip" "$build/$name-setup.exe"
