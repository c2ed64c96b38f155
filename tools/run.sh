#!/usr/bin/env bash
# Sets up, builds and runs Morvanti under Wine against a small demo Opera installation kept in
# a Wine prefix of the project's own (build/demo/wineprefix, or build/demo64/wineprefix where the
# x86-64 build runs: tools/host-arch.sh) -- never in your own prefix.
#
#   tools/run.sh [ADDRESS]            quick add: add ADDRESS to the include list, show the outcome
#   tools/run.sh                      open the dialog
#   tools/run.sh --script FILE [ADDRESS]
#                                     work on a real "Autorender in IE.js" instead of the demo:
#                                     the program's settings file is pointed at FILE
#
# With an X display (DISPLAY set) the program's windows appear there and wait for you. Without
# one, it runs on a private Xvfb display; each message box is printed here and answered with OK,
# and the dialog (after a failed quick add, or without an address) is closed again.
# Afterwards the script's header is printed so you can see the change.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

script_file=
if [ "${1:-}" = "--script" ]; then
    script_file=$(realpath "${2:?--script needs a file}")
    shift 2
fi
address=${1:-}

bash tools/setup.sh
# The 32-bit program where this host runs 32-bit programs, else its x86-64 build (tools/host-arch.sh).
source tools/host-arch.sh
source tools/build.sh
preset=$(morvanti_run_preset demo)
build=build/$preset
morvanti_build "$preset" "morvanti.exe and the e2e driver for $MORVANTI_RUN_ARCH" "about a minute" \
    morvanti e2e_driver

export MORVANTI_WINEPREFIX="$root/$build/wineprefix"
source tools/wine-env.sh
source tools/xvfb.sh
source tools/demo-opera.sh
trap morvanti_wine_stop EXIT
morvanti_wine_start
[ -n "${LC_ALL:-}" ] || morvanti_wine_locale en_US.UTF-8 || true

# The program and, with --script, its settings file beside it (UTF-16 LE, CR LF).
bin="$root/$build/bin"
mkdir -p "$bin"
cp "$build/app/morvanti.exe" "$bin/"
rm -f "$bin/autorender_in_ie.ini"
if [ -n "$script_file" ]; then
    [ -f "$script_file" ] || { echo "run: no such file: $script_file" >&2; exit 1; }
    printf '[AutoRenderInIE]\r\nScriptPath=%s\r\n' "$(winepath -w "$script_file" 2>/dev/null)" \
        | iconv -f UTF-8 -t UTF-16LE > "$bin/autorender_in_ie.ini"
    shown="$script_file"
else
    # The demo installation, created once so that added addresses accumulate from run to run.
    morvanti_demo_opera
    shown="$morvanti_demo_script"
fi

echo "run: running morvanti.exe${address:+ $address} under Wine (a few seconds)"
if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
    # A person is there: the boxes wait for them.
    (cd "$bin" && wine ./morvanti.exe ${address:+"$address"} </dev/null) || true
else
    morvanti_xvfb_start 150 180
    trap 'morvanti_wine_stop; kill $morvanti_xvfb_pid 2>/dev/null' EXIT
    wine "$build/tests/e2e/e2e_driver.exe" desktop "morvanti-run-$$" \
        start "$(winepath -w "$bin/morvanti.exe" 2>/dev/null)" "$address" show-boxes-until-exit </dev/null || true
fi

echo
echo "Header of $shown:"
awk '{ sub(/\r$/, "") } /^ *\/\// { print "  " $0; next } { exit }' "$shown"
