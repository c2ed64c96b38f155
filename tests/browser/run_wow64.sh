#!/usr/bin/env bash
# Runs the discovery tests as the shipped 32-bit program meets 64-bit Windows: in a 64-bit Wine
# prefix of their own (WINEARCH=win64), where Wine redirects a 32-bit program's System32 to
# SysWOW64 and keeps two views of the registry, as Windows does. MORVANTI_EXPECT_WOW64 makes
# the tests check that they run so.
#
#   run_wow64.sh BUILD_DIR TEST_EXE PROCESSOR
#
# Skipped (exit 77) with the reason on one line for the x86-64 build, on a host that runs no
# 32-bit Wine, and where Wine's 64-bit loader is missing (tools/setup.sh installs it beside
# 32-bit Wine).
set -uo pipefail
build=$1
exe=$2
processor=$3
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

if [ "$processor" != i686 ]; then
    echo "skipped: a 32-bit program on 64-bit Windows needs the 32-bit build; this one is for $processor"
    exit 77
fi
source "$root/tools/host-arch.sh"
if [ "$MORVANTI_RUN_ARCH" != i686 ]; then
    echo "skipped: this host runs no 32-bit Wine (tools/host-arch.sh)"
    exit 77
fi
if [ ! -x /usr/lib/wine/wine64 ]; then
    echo "skipped: Wine's 64-bit loader /usr/lib/wine/wine64 is missing (package wine64; tools/setup.sh installs it)"
    exit 77
fi

export MORVANTI_WINEPREFIX=$build/wineprefix-wow64
source "$root/tools/wine-env.sh"
# The prefix is a 64-bit one; the 32-bit program runs in it as on 64-bit Windows.
export WINEARCH=win64
morvanti_wine_start || exit 1
status=0
MORVANTI_EXPECT_WOW64=1 wine "$exe" </dev/null || status=$?
morvanti_wine_stop
exit "$status"
