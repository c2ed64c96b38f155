#!/usr/bin/env bash
# Sets up the machine if needed, builds everything from scratch and runs the whole test
# suite under Wine in a private prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash tools/setup.sh

build=build/mingw
umount "$build/smalldisk" 2>/dev/null || true
rm -rf "$build"
cmake --preset mingw >/dev/null
cmake --build --preset mingw

export MORVANTI_WINEPREFIX="$root/$build/wineprefix"
source tools/wine-env.sh
small="$root/$build/smalldisk"
cleanup() {
    morvanti_wine_stop
    umount "$small" 2>/dev/null || true
}
trap cleanup EXIT
morvanti_wine_start

# A small file system lets a test fill the disk; mounting one needs root, elsewhere it is skipped.
mkdir -p "$small"
if [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=256k tmpfs "$small" 2>/dev/null; then
    MORVANTI_SMALL_DISK=$(winepath -w "$small" 2>/dev/null </dev/null)
    export MORVANTI_SMALL_DISK
fi

ctest --test-dir "$build" --output-on-failure "$@"
