#!/usr/bin/env bash
# Runs the discovery tests as the shipped 32-bit program meets 64-bit Windows: in a 64-bit Wine
# prefix of their own, where a 32-bit program's System32 is SysWOW64 and the registry has two
# views. Skipped (exit 77), with the reason, where that cannot run.
#   run_wow64.sh BUILD_DIR TEST_EXE PROCESSOR
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/tools/host-arch.sh"
if [ "$3" != i686 ]; then
    echo "skipped: a 32-bit program on 64-bit Windows needs the 32-bit build; this one is for $3"
elif [ "$MORVANTI_RUN_ARCH" != i686 ]; then
    echo "skipped: this host runs no 32-bit Wine (tools/host-arch.sh)"
elif [ ! -x /usr/lib/wine/wine64 ]; then
    echo "skipped: Wine's 64-bit loader is missing (package wine64, which tools/setup.sh installs)"
else
    export MORVANTI_WINEPREFIX=$1/wineprefix-wow64
    source "$root/tools/wine-env.sh"
    export WINEARCH=win64
    morvanti_wine_start || exit 1
    status=0
    MORVANTI_EXPECT_WOW64=1 wine "$2" </dev/null || status=$?
    morvanti_wine_stop
    exit "$status"
fi
exit 77
