#!/usr/bin/env bash
# Builds the benchmarks and runs them under Wine. Prints figures; never fails on them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash tools/setup.sh
# The 32-bit program where this host runs 32-bit programs, else its x86-64 build (tools/host-arch.sh).
source tools/host-arch.sh
source tools/build.sh
preset=$(morvanti_run_preset bench)
build=build/$preset
morvanti_build "$preset" "the benchmarks for $MORVANTI_RUN_ARCH" "about a minute" script_bench
export MORVANTI_WINEPREFIX="$root/$build/wineprefix"
source tools/wine-env.sh
trap morvanti_wine_stop EXIT
morvanti_wine_start
work=$(mktemp -d "$root/build/bench-work.XXXXXX")
echo "bench: running script_bench under Wine (about 30 s)"
echo "script_bench ($MORVANTI_RUN_ARCH build)"
wine "$build/bench/script_bench.exe" "$(winepath -w "$work")" </dev/null
rm -rf "$work"
