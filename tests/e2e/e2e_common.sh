# Shared by the end-to-end scripts (sourced): arguments, environment, a private X server, the
# application-data folder of the prefix and the helpers that set up, drive and check one case.
#
#   SCRIPT BUILD_DIR [MORVANTI_EXE DRIVER_EXE]
#
# Uses the Wine prefix in WINEPREFIX (tools/wine-env.sh), which must be started.

build=${1:?usage: $(basename "$0") BUILD_DIR [MORVANTI_EXE DRIVER_EXE]}
exe=${2:-$build/app/morvanti.exe}
driver=${3:-$build/tests/e2e/e2e_driver.exe}
: "${WINEPREFIX:?WINEPREFIX must name the started test prefix (source tools/wine-env.sh)}"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# Wine decodes the driver's arguments (Chinese expected texts) with the locale's character set.
export LC_ALL=${LC_ALL:-en_US.UTF-8}

work=$(mktemp -d /tmp/morvanti-e2e.XXXXXX)
xvfb_pid=
# A script that changes anything outside $work defines e2e_restore to put it back.
cleanup() {
    declare -F e2e_restore >/dev/null && e2e_restore
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    [ -n "${E2E_KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

# A private display: the first free number from 90 up.
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/xvfb.sh"
morvanti_xvfb_start 90 120 || exit 1
xvfb_pid=$morvanti_xvfb_pid
# A Wine server of its own, started once that display is there: the programs that earlier tests
# left running in the prefix (among them a desktop started without any display) would serve this
# script's windows too, slowly and now and then not at all. No other test uses the prefix
# meanwhile (RESOURCE_LOCK morvanti_wineprefix).
wineserver -k >/dev/null 2>&1 </dev/null
wineserver -p >/dev/null 2>&1 </dev/null || { echo "cannot start a Wine server"; exit 1; }
# That display has no window manager. Wine waits up to two seconds at each window it hides for a
# manager to confirm it (a box closed, the dialog ended); windows Wine manages itself need none.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null

winpath() { winepath -w "$1" 2>/dev/null </dev/null; }
appdata_unix=$(winepath -u "$(wine cmd /c echo %APPDATA% 2>/dev/null </dev/null | tr -d '\r')" 2>/dev/null </dev/null)
appdata_ini="$appdata_unix/autorender_in_ie.ini"

failures=0
current=
fail() { echo "FAILED [$current]: $*"; failures=$((failures + 1)); }

# The settings file as the program reads and writes it: UTF-16 LE without byte-order mark, CR LF.
settings_bytes() { printf '[AutoRenderInIE]\r\nScriptPath=%s\r\n' "$1" | iconv -f UTF-8 -t UTF-16LE; }
# Lines given as arguments, each ended by CR LF (the script is 8-bit text).
crlf_lines() { for line in "$@"; do printf '%s\r\n' "$line"; done; }

script_lines=(
    '// ==UserScript=='
    '//@include http://a.example.org/*'
    '//@exclude http://b.example.org/*'
    '// ==/UserScript=='
    ''
    'opera.defineMagicVariable("x", null, null); //@include http://body.example.org/'
)

# new_case NAME: a fresh folder with the program, a script and a settings file naming it.
new_case() {
    current=$1
    dir="$work/$1"
    mkdir -p "$dir"
    cp "$exe" "$dir/morvanti.exe"
    script="$dir/Autorender in IE.js"
    crlf_lines "${script_lines[@]}" >"$script"
    script_win=$(winpath "$script")
    exe_win=$(winpath "$dir/morvanti.exe")
    settings_bytes "$script_win" >"$dir/autorender_in_ie.ini"
}

drive() {
    local out
    out=$(wine "$driver" desktop "morvanti-e2e-$$" "$@" 2>&1 </dev/null)
    local rc=$?
    echo "$out" | sed "s/^/    [$current] /"
    [ $rc -eq 0 ] || fail "driver exit $rc"
}

same_bytes() { # FILE EXPECTED-FILE
    cmp -s "$1" "$2" || { fail "$(basename "$1") differs from expected"; cmp "$1" "$2" | head -1; }
}

# The end of a script: its verdict as the exit code.
finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$(basename "$0" .sh): $failures failure(s)"
        exit 1
    fi
    echo "$(basename "$0" .sh): all cases passed"
}
