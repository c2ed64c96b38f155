# Sourced by the scripts in tools/: a private, quiet Wine prefix for the project.
#   MORVANTI_WINEPREFIX  the prefix folder (default: build/wineprefix in the work tree)
# Start it with morvanti_wine_start and stop it with morvanti_wine_stop. A new prefix is prepared
# by wineboot, whose output goes to the log file beside it (PREFIX.log).
#   morvanti_wine_locale LOCALE  runs Wine under LOCALE (LC_ALL, LANG), which sets its ANSI code
#                                page; fails, changing nothing, while the locale is not generated
# wine, wineboot, winepath and wineserver are functions here that run the command under that
# locale (env LC_ALL=LOCALE LANG=LOCALE COMMAND): the locale goes to Wine, not to this shell. A
# shell that started before tools/setup.sh generated the locale cannot switch to it (bash warns
# "setlocale: LC_ALL: cannot change locale"), although every process started since can.

morvanti_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${MORVANTI_WINEPREFIX:-$morvanti_root/build/wineprefix}"
source "$morvanti_root/tools/host-arch.sh"
source "$morvanti_root/tools/stage.sh"
if [ "$MORVANTI_RUN_ARCH" = i686 ]; then
    export WINEARCH=win32
else
    # wine, wineboot and winepath through the 64-bit loader (see tools/host-arch.sh).
    export WINEARCH=win64
    case ":$PATH:" in
        *":$morvanti_root/tools/wine64:"*) ;;
        *) export PATH="$morvanti_root/tools/wine64:$PATH" ;;
    esac
fi
export WINEDEBUG=-all
# No Mono or Gecko installer prompts.
export WINEDLLOVERRIDES="mscoree,mshtml="

# The locale's assignments for env(1); none until morvanti_wine_locale: Wine then runs under
# the caller's locale.
morvanti_wine_env=()
wine() { env ${morvanti_wine_env[@]+"${morvanti_wine_env[@]}"} wine "$@"; }
wineboot() { env ${morvanti_wine_env[@]+"${morvanti_wine_env[@]}"} wineboot "$@"; }
winepath() { env ${morvanti_wine_env[@]+"${morvanti_wine_env[@]}"} winepath "$@"; }
wineserver() { env ${morvanti_wine_env[@]+"${morvanti_wine_env[@]}"} wineserver "$@"; }

morvanti_wine_start() {
    mkdir -p "$WINEPREFIX"
    # One server for the whole run, started before any Wine program: a server that a program
    # starts on its own (wineboot's, on a new prefix) ends a few seconds after the last program
    # has gone, and a test starting just then cannot reach it ("recvmsg: Connection reset by
    # peer"); a persistent one started later would find it running and end at once. A server
    # already running is most likely the persistent one of an earlier start; it is kept.
    wineserver -p >/dev/null 2>&1 </dev/null || true
    # The first Wine process starts background services that inherit its output; detach them
    # so nothing waiting for the end of our output hangs.
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        local log=$WINEPREFIX.log
        echo "wine: preparing the Wine prefix $(morvanti_shown "$WINEPREFIX") (about 20 s;" \
            "output: $(morvanti_shown "$log"))"
        : >"$log"
        if ! morvanti_logged "$log" wineboot -i; then
            morvanti_log_end "$log"
            echo "wine: preparing $(morvanti_shown "$WINEPREFIX") failed (output: $(morvanti_shown "$log"))" >&2
            return 1
        fi
    fi
    # A crash must fail a test, not wait for somebody to close a dialog.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 </dev/null
    # The program speaks Chinese. Under any other locale the dialog fonts Wine picks have no
    # Chinese characters and show boxes; font linking, as Windows does it, lets them take those
    # characters from the CJK font that setup.sh installs.
    if ! grep -q 'wqy-microhei' "$WINEPREFIX/system.reg" 2>/dev/null; then
        local face
        for face in Tahoma 'MS Shell Dlg' 'Microsoft Sans Serif'; do
            wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
                /v "$face" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1 </dev/null
        done
    fi
}

morvanti_wine_locale() {
    grep -qx "${1/UTF-8/utf8}" < <(locale -a 2>/dev/null) || return 1
    morvanti_wine_env=(LC_ALL="$1" LANG="$1")
}

morvanti_wine_stop() {
    wineserver -k >/dev/null 2>&1 </dev/null || true
}

