#!/usr/bin/env bash
# End-to-end test of the help menu and the About box of morvanti.exe. The web pages that the
# menu opens go to a stand-in browser (url_recorder.exe) registered in the test prefix as the
# handler of https addresses, which writes down every address it is given.
#
#   run_e2e_about.sh BUILD_DIR MORVANTI_EXE DRIVER_EXE RECORDER_EXE
#
# Uses the Wine prefix in WINEPREFIX (tools/wine-env.sh), which must be started.
set -uo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/e2e_common.sh"
recorder=${4:?usage: $(basename "$0") BUILD_DIR MORVANTI_EXE DRIVER_EXE RECORDER_EXE}

# Wine's HKEY_CLASSES_ROOT does not take the user's own classes in, so the stand-in goes where
# the prefix keeps its https handler, and the old handler comes back at the end.
handler_key='HKLM\Software\Classes\https\shell\open\command'
opened="$work/opened.txt"
cp "$recorder" "$work/url_recorder.exe"
old_handler=$(wine reg query "$handler_key" /ve 2>/dev/null </dev/null | tr -d '\r' \
    | sed -n 's/^ *(Default) *REG_SZ *//p')
e2e_restore() {
    if [ -n "$old_handler" ]; then
        wine reg add "$handler_key" /ve /f /d "$old_handler" >/dev/null 2>&1 </dev/null
    else
        wine reg delete "$handler_key" /f >/dev/null 2>&1 </dev/null
    fi
}
wine reg add "$handler_key" /ve /f \
    /d "\"$(winpath "$work/url_recorder.exe")\" \"$(winpath "$opened")\" \"%1\"" >/dev/null 2>&1 </dev/null \
    || { echo "cannot register the stand-in browser"; exit 1; }

home='https://morvanti.example.com/morvanti.html'
help='https://help.morvanti.example.com/category/morvanti/'
feedback='https://forum.example.net/f?kw=brelkin'

# After new_case: the driver commands that check the three boxes still show the case's script.
set_unchanged() {
    unchanged=(expect-edit 1000 'http://a.example.org/*\r\n' expect-edit 1001 'http://b.example.org/*\r\n'
               expect-edit 1002 "${script_win//\\/\\\\}")
}

# The addresses the stand-in browser was given, waiting up to five seconds for COUNT of them.
opened_addresses() { # COUNT
    for _ in $(seq 50); do
        [ -f "$opened" ] && [ "$(wc -l <"$opened")" -ge "$1" ] && break
        sleep 0.1
    done
    [ -f "$opened" ] && cat "$opened"
}

# The About box as it must look: version from the program's own version block, the maker's
# details, both pictures, centred on the desktop.
about_box=(wait-window '关于 Morvanti' expect-item 1009 1.0.4.0 expect-item 1006 Brelkin
           expect-item 1007 morvanti.example.com expect-item 1008 morvanti@example.com
           expect-image 130 expect-image 1005 expect-centred)

# --- From the Help button's menu; OK closes it and the dialog goes on unchanged.
new_case about-from-menu
set_unchanged
drive start "$exe_win" '' wait-dialog click 1005 menu-choose a "${about_box[@]}" press 1 \
    "${unchanged[@]}" click 2 expect-exit 0

# --- From the keyboard: Alt+"?" and Alt+"/"; Esc closes it. A "/" typed without Alt is text.
new_case about-from-keys
drive start "$exe_win" '' wait-dialog alt-key '?' "${about_box[@]}" press 2 \
    alt-key / "${about_box[@]}" press 1 \
    set-edit 1000 '' type-key / expect-quiet 1000 expect-edit 1000 / \
    click 2 expect-box Morvanti '列表已修改，是否先保存？' press 7 expect-exit 0

# --- Moved to a monitor of another DPI: the dialog and the About box take the rectangle that
# WM_DPICHANGED suggests (the About box's picture for that DPI: tools/screenshot.sh).
new_case dpi-changed
drive start "$exe_win" '' wait-dialog dpi-changed 144 10,20,710,920 click 104 wait-window '关于 Morvanti' \
    dpi-changed 192 30,40,630,440 expect-image 1005 press 1 click 2 expect-exit 0

# --- The three web pages: each item opens exactly its own page and changes nothing else.
new_case web-pages
set_unchanged
cp "$script" "$dir/script.before"
cp "$dir/autorender_in_ie.ini" "$dir/settings.before"
rm -f "$opened"
drive start "$exe_win" '' wait-dialog click 1005 menu-choose r expect-quiet 2000 "${unchanged[@]}" \
    click 2 expect-exit 0
got=$(opened_addresses 1)
[ "$got" = "$feedback" ] || fail "the feedback item opened [$got], expected only [$feedback]"
drive start "$exe_win" '' wait-dialog click 1005 menu-choose g click 1005 menu-choose h \
    expect-quiet 2000 "${unchanged[@]}" click 2 expect-exit 0
got=$(opened_addresses 3)
expected=$(printf '%s\n' "$feedback" "$home" "$help")
[ "$got" = "$expected" ] || fail "the pages opened were [$got], expected [$expected]"
same_bytes "$script" "$dir/script.before"
same_bytes "$dir/autorender_in_ie.ini" "$dir/settings.before"

finish
