# Sourced by tools/run.sh and tools/screenshot.sh: a small demo Opera installation in the started
# Wine prefix $WINEPREFIX. Opera's key in the registry, single-user mode, a profile whose
# "opera6.ini" names the user JavaScript folder, and the script "Autorender in IE.js" in it.
#
#   morvanti_demo_opera [LINE...]
#
# With lines, the script is written anew with them (CR LF); without, a small default script is
# written only when there is none, so that addresses added by earlier runs stay. The script's
# Linux path is left in morvanti_demo_script.
morvanti_demo_opera() {
    local opera="$WINEPREFIX/drive_c/Program Files/Opera"
    local userjs="$opera/profile/userjs"
    mkdir -p "$userjs"
    printf '[System]\r\nMulti User=0\r\n' >"$opera/operadef6.ini"
    printf 'Opera Preferences version 2.1\r\n\r\n[User Prefs]\r\nUser JavaScript File=C:\\Program Files\\Opera\\profile\\userjs\r\n' \
        >"$opera/profile/opera6.ini"
    wine reg add 'HKLM\SOFTWARE\Netscape\Netscape Navigator\Opera\main' /reg:32 /v 'Install Directory' \
        /d 'C:\Program Files\Opera' /f >/dev/null 2>&1 </dev/null
    morvanti_demo_script="$userjs/Autorender in IE.js"
    if [ "$#" -gt 0 ]; then
        printf '%s\r\n' "$@" >"$morvanti_demo_script"
    elif [ ! -f "$morvanti_demo_script" ]; then
        printf '%s\r\n' '// ==UserScript==' '// @name Autorender in IE' \
            '//@include http://intranet.example.com/*' '//@exclude http://intranet.example.com/public/*' \
            '// ==/UserScript==' '' 'opera.addEventListener("BeforeEvent.load", function () {}, false);' \
            >"$morvanti_demo_script"
    fi
}
