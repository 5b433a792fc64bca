#!/usr/bin/env bash
# Fuzzes one target with libFuzzer for as long as wanted:
#   scripts/fuzz.sh parsestring 600     # ten minutes of value stripping
#   scripts/fuzz.sh lineframing 60      # a minute of the reply reader's framing
#   scripts/fuzz.sh csvrow 60           # a minute of a measurement run's CSV rows
# Installs clang when missing, builds into build-fuzz/ and works on a copy of the seed corpus
# (build-fuzz/corpus-<target>), so the seeds in fuzz/corpus stay as they are. A crash is
# saved as build-fuzz/crash-*; replay it with build-fuzz/fuzz/fuzz_<target> <file>.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
target=${1:?"which target: parsestring, lineframing or csvrow"}
seconds=${2:-60}

BVTERM_EXTRA_PACKAGES="clang libclang-rt-14-dev" "$top/scripts/setup.sh"
CC=clang CXX=clang++ cmake -S "$top" -B "$top/build-fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBVTERM_FUZZ=ON -DBVTERM_BUILD_BENCH=OFF
cmake --build "$top/build-fuzz" --target "fuzz_$target"

corpus="$top/build-fuzz/corpus-$target"
mkdir -p "$corpus"
cp -n "$top/fuzz/corpus/$target"/* "$corpus"/
cd "$top/build-fuzz"
"./fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 "$corpus"
