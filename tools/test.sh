#!/usr/bin/env bash
# Sets up the machine if needed, builds everything from scratch and runs the whole test
# suite under Wine in a private prefix.
#
# Where 32-bit Wine cannot run (a kernel that runs no 32-bit programs, or wine32:i386 that could
# not be installed; tools/host-arch.sh) the 32-bit program is still built and the tests that need
# no Wine (PE headers, release package, set-up) run on it, and every test that runs under Wine
# runs on an x86-64 build of the same sources. Each step says what it does and how long it
# usually takes; the builds' own output goes to build/mingw*/build.log.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash tools/setup.sh
source tools/host-arch.sh
source tools/build.sh

# A build folder from scratch (a small disk that an interrupted run left mounted in it goes first).
fresh() {
    umount "build/$1/smalldisk" 2>/dev/null || true
    rm -rf "build/$1"
}

fresh mingw
if [ "$MORVANTI_RUN_ARCH" = i686 ]; then
    morvanti_build mingw "the 32-bit program, its tests and benchmarks" "about 3 minutes"
    build=build/mingw
else
    if morvanti_kernel_runs_i386; then why="32-bit Wine is not installed"; else
        why="this kernel runs no 32-bit programs"; fi
    echo "test: $why, so 32-bit Wine cannot run here: the 32-bit morvanti.exe is built and checked"
    echo "test: as a file, and the tests under Wine run on an x86-64 build."
    morvanti_build mingw "the 32-bit morvanti.exe" "about a minute" morvanti
    echo "test: running the tests that need no Wine on the 32-bit build (about 20 s)"
    ctest --test-dir build/mingw --output-on-failure -L host
    fresh mingw64
    morvanti_build mingw64 "the x86-64 program, its tests and benchmarks" "about 3 minutes"
    build=build/mingw64
    host_tests=(-LE host)
fi

# Static analysis (.clang-tidy) of the sources as the shipped 32-bit build compiles them.
bash tools/tidy.sh build/mingw

# The readers and writers of a user's bytes under AddressSanitizer and UndefinedBehaviorSanitizer
# (tools/fuzz.sh): every seed and every input that once failed, then each target fuzzed a minute.
echo "test: fuzzing the readers and writers of a user's bytes (about 5 minutes)"
bash tools/fuzz.sh --check 60

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

echo "test: running the tests under Wine (about 5 minutes)"
ctest --test-dir "$build" --output-on-failure ${host_tests[@]+"${host_tests[@]}"} "$@"
