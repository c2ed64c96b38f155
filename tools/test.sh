#!/usr/bin/env bash
# Sets up the machine if needed, builds everything from scratch and runs the whole test
# suite under Wine in a private prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash tools/setup.sh

build=build/mingw
rm -rf "$build"
cmake --preset mingw >/dev/null
cmake --build --preset mingw

export MORVANTI_WINEPREFIX="$root/$build/wineprefix"
source tools/wine-env.sh
trap morvanti_wine_stop EXIT
morvanti_wine_start

ctest --test-dir "$build" --output-on-failure "$@"
