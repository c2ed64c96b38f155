#!/usr/bin/env bash
# Sets up the machine if needed, builds everything from scratch and runs the whole test
# suite under Wine in a private prefix.
#
# On a host whose kernel runs no 32-bit programs (tools/host-arch.sh) 32-bit Wine cannot start.
# There the 32-bit program is still built and its file checks (PE headers, release package) run
# on it, and every test that runs under Wine runs on an x86-64 build of the same sources.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash tools/setup.sh
source tools/host-arch.sh

build=build/mingw
umount "$build/smalldisk" 2>/dev/null || true
rm -rf "$build"
cmake --preset mingw >/dev/null
if [ "$MORVANTI_RUN_ARCH" = i686 ]; then
    cmake --build --preset mingw
else
    echo "test: this kernel runs no 32-bit programs, so 32-bit Wine cannot start here."
    echo "test: the 32-bit morvanti.exe is built and checked as a file; the tests under Wine run on an x86-64 build."
    cmake --build --preset mingw --target morvanti
    ctest --test-dir "$build" --output-on-failure -L host
    build=build/mingw64
    umount "$build/smalldisk" 2>/dev/null || true
    rm -rf "$build"
    cmake --preset mingw64 >/dev/null
    cmake --build --preset mingw64
    host_tests=(-LE host)
fi

# Static analysis (.clang-tidy) of the sources as the shipped 32-bit build compiles them.
bash tools/tidy.sh build/mingw

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

ctest --test-dir "$build" --output-on-failure ${host_tests[@]+"${host_tests[@]}"} "$@"
