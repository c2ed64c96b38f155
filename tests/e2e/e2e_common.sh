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
    tester_stop
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

# winepath has come back empty while the machine was busy: asked again, and never silently empty.
winpath() {
    local path tries
    for tries in 1 2 3 4 5; do
        path=$(winepath -w "$1" 2>/dev/null </dev/null)
        [ -z "$path" ] || { printf '%s\n' "$path"; return 0; }
        sleep 1
    done
    echo "winepath gave no Windows path for $1" >&2
    return 1
}
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

# --- Rows that need rights. Root passes every access check, and Wine maps Windows' checks onto the
# host's file permissions, so these rows run Wine as an unprivileged account, with a prefix, a home
# and a runtime folder that it owns (kept in /tmp between runs: the prefix takes a while to make).
# CI runs as root on a fresh machine: the account is made here when it is missing.
tester=morvanti-tester
tester_base=
tester_env=()
# tester_start: makes the account and starts its Wine prefix, once; fails (with the reason) where
# that cannot be done, for the caller to fail its row.
tester_start() {
    [ ${#tester_env[@]} -gt 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        fail "running as $tester needs root"
        return 1
    fi
    id "$tester" >/dev/null 2>&1 \
        || useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$tester" >/dev/null 2>&1 \
        || id "$tester" >/dev/null 2>&1 || { fail "cannot make the account $tester"; return 1; }
    tester_base=/tmp/morvanti-tester-$(cd "$build" && pwd | md5sum | cut -c1-12)
    mkdir -p "$tester_base/home" "$tester_base/run" "$tester_base/bin"
    # The programs, where the account can reach them (the build folder may lie under /root).
    cp "$driver" "$tester_base/bin/e2e_driver.exe"
    cp "$(command -v wine)" "$tester_base/bin/wine"
    chown -R "$tester:" "$tester_base"
    chmod 755 "$tester_base" "$tester_base/bin"
    chmod 700 "$tester_base/run"
    # The cases' folders are reached through the run's folder.
    chmod 711 "$work"
    tester_env=(setpriv "--reuid=$tester" "--regid=$tester" --init-groups env -i "HOME=$tester_base/home"
                "XDG_RUNTIME_DIR=$tester_base/run" "WINEPREFIX=$tester_base/prefix" "PATH=$tester_base/bin:/usr/bin:/bin"
                WINEDEBUG=-all "WINEDLLOVERRIDES=$WINEDLLOVERRIDES" "DISPLAY=$DISPLAY" ${WINEARCH:+"WINEARCH=$WINEARCH"})
    "${tester_env[@]}" wineserver -p >/dev/null 2>&1 </dev/null
    if [ ! -f "$tester_base/prefix/system.reg" ]; then
        echo "    [$current] preparing the Wine prefix of $tester (about 20 s)"
        "${tester_env[@]}" wine wineboot -i >/dev/null 2>&1 </dev/null
    fi
    "${tester_env[@]}" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null \
        && "${tester_env[@]}" wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
            >/dev/null 2>&1 </dev/null \
        || { fail "cannot prepare the Wine prefix of $tester"; return 1; }
}
# tester_drive LOCALE COMMAND...: the driver, as the account, under that locale.
tester_drive() {
    local out rc
    out=$("${tester_env[@]}" "LC_ALL=$1" "LANG=$1" wine "$tester_base/bin/e2e_driver.exe" desktop "morvanti-e2e-$$" \
        "${@:2}" 2>&1 </dev/null)
    rc=$?
    echo "$out" | sed "s/^/    [$current] /"
    [ $rc -eq 0 ] || fail "driver exit $rc"
}
tester_stop() {
    [ ${#tester_env[@]} -gt 0 ] && "${tester_env[@]}" wineserver -k >/dev/null 2>&1 </dev/null
    return 0
}
# The account's own folder for journals, in its prefix.
tester_journals() { echo "$tester_base/prefix/drive_c/users/$tester/AppData/Local/Morvanti"; }

# What a folder holds besides its script (names, owners, modes, sizes, file numbers), and what a
# save must keep of the script itself (owner, mode, file number, number of names).
folder_state() { (cd "$1" && find . -mindepth 1 -maxdepth 1 ! -name 'Autorender in IE.js' -printf '%P %u %m %s %i\n' | sort); }
file_identity() { stat -L -c '%U %a %i %h' "$1"; }
