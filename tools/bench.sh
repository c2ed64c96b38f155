#!/usr/bin/env bash
# Builds the benchmarks and runs them under Wine. Prints figures; never fails on them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash tools/setup.sh >/dev/null
# The 32-bit program where this host runs 32-bit programs, else its x86-64 build (tools/host-arch.sh).
source tools/host-arch.sh
build=build/bench-$MORVANTI_RUN_ARCH
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$MORVANTI_RUN_TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release \
      -DMORVANTI_TESTS=OFF >/dev/null
cmake --build "$build" --target script_bench -j2 >/dev/null
export MORVANTI_WINEPREFIX="$root/$build/wineprefix"
source tools/wine-env.sh
trap morvanti_wine_stop EXIT
morvanti_wine_start
work=$(mktemp -d "$root/build/bench-work.XXXXXX")
echo "script_bench ($MORVANTI_RUN_ARCH build)"
wine "$build/bench/script_bench.exe" "$(winepath -w "$work")" </dev/null
rm -rf "$work"
