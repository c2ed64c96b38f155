#!/usr/bin/env bash
# End-to-end test of morvanti.exe's quick add (an address given on the command line) along each
# way the script is found: a settings file in the per-user application-data folder, a settings
# file beside the program with a relative path, an Opera 9 installation in single-user and in
# multi-user mode, and an Opera 12 one that the dialog finds and whose script path its Close
# stores; several quick adds started at once on one script, from one Windows installation and
# from two (a second prefix with its own Wine server stands for a second PC on a network
# folder), one of them meeting the dialog's Save. Then the script as careful users and offices lay
# it out: a folder that refuses the user new files, a lock file that is read-only or another
# user's (those run as an unprivileged account, e2e_common.sh), a script reached through a
# symbolic link, with a second name, an owner and permissions of its own, and one that another
# program rewrites while the quick add saves. Each runs under code
# page 1252 and under code page 936 (Wine takes the ANSI code page from the locale), and the
# script must then hold the address in that code page; the Opera cases also under 65001, UTF-8
# as the ANSI code page (Windows 10/11's "Use Unicode UTF-8 for worldwide language support").
#
#   run_e2e_quickadd.sh BUILD_DIR [MORVANTI_EXE DRIVER_EXE]
#
# Uses the Wine prefix in WINEPREFIX (tools/wine-env.sh), which must be started. What the cases
# put into the prefix (settings file and Opera profile in the application-data folder, Opera's
# registry key) is removed afterwards, and what was there before is put back.
set -uo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/e2e_common.sh"

cp1252=en_US.UTF-8
cp936=zh_CN.UTF-8
# A language without an ANSI code page of its own: Wine gives it 65001.
cp65001=hi_IN.UTF-8

# What was in the application-data folder is moved aside for the whole run.
appdata_opera="$appdata_unix/Opera"
saved_ini="$work/saved-appdata.ini"
saved_opera="$work/saved-appdata-Opera"
[ -e "$appdata_ini" ] && mv "$appdata_ini" "$saved_ini"
[ -e "$appdata_opera" ] && mv "$appdata_opera" "$saved_opera"

# Opera's key, in the 32-bit view the program reads. The test adds only keys that were missing
# and removes the first of them at the end; it never overwrites a key that was there.
opera_key='HKLM\SOFTWARE\Netscape\Netscape Navigator\Opera\main'
reg() { wine reg "$@" /reg:32 >/dev/null 2>&1 </dev/null; }
opera_created=
opera_usable=
key_part='HKLM\SOFTWARE'
for part in Netscape 'Netscape Navigator' Opera main; do
    key_part="$key_part\\$part"
    if ! reg query "$key_part"; then opera_created=$key_part; opera_usable=1; break; fi
done

e2e_restore() {
    [ -n "$opera_created" ] && reg delete "$opera_created" /f
    [ -n "$peer_started" ] && WINEPREFIX=$peer wineserver -k >/dev/null 2>&1 </dev/null
    rm -rf "$appdata_ini" "$appdata_opera"
    [ -e "$saved_ini" ] && mv "$saved_ini" "$appdata_ini"
    [ -e "$saved_opera" ] && mv "$saved_opera" "$appdata_opera"
}

# The script every case starts from. Its last line holds 中文 in code-page-936 bytes, which a
# rewrite must give back unchanged under either code page.
gbk_line='var s = "\xD6\xD0\xCE\xC4";'
start_script() { { crlf_lines "${script_lines[@]}"; printf "$gbk_line\\r\\n"; } >"$1"; }
# The script after the quick add of an address whose bytes in the code page are $1 (printf %b).
expected_script() {
    crlf_lines '// ==UserScript==' '//@include http://a.example.org/*'
    printf '//@include %b\r\n' "$1"
    crlf_lines '//@exclude http://b.example.org/*' '// ==/UserScript==' '' "${script_lines[5]}"
    printf "$gbk_line\\r\\n"
}

# An address per code page: the driver's argument (escapes), and its bytes in the script.
ascii_arg='http://new.example.net/q?a=1'
ascii_bytes='http://new.example.net/q?a=1'
chinese_arg='http://\u4E2D\u6587.example/'
chinese_bytes_936='http://\xD6\xD0\xCE\xC4.example/'
latin_arg='http://caf\u00E9.example/'
latin_bytes_1252='http://caf\xE9.example/'
chinese_bytes_65001='http://\xE4\xB8\xAD\xE6\x96\x87.example/'

# quick_add LOCALE ARG: runs the quick add; it must report success and end with 0.
quick_add() {
    LC_ALL=$1 drive start-escaped "$exe_win" "$2" \
        expect-box Morvanti "添加$2成功。" press-ok expect-exit 0
}

# A copy of a file, to show afterwards that it was not touched.
keep() { cp "$1" "$1.before"; }
unchanged() { same_bytes "$1" "$1.before"; }

no_settings_written() {
    [ ! -e "$dir/autorender_in_ie.ini" ] || fail "a settings file was written beside the program"
    [ ! -e "$appdata_ini" ] || fail "a settings file was written in the application-data folder"
}

# --- The settings file in the application-data folder, none beside the program.
case_appdata_settings() { # NAME LOCALE ARG BYTES
    new_case "$1"
    start_script "$script"
    rm "$dir/autorender_in_ie.ini"
    settings_bytes "$script_win" >"$appdata_ini"
    keep "$appdata_ini"
    quick_add "$2" "$3"
    expected_script "$4" >"$dir/expected"
    same_bytes "$script" "$dir/expected"
    unchanged "$appdata_ini"
    [ ! -e "$dir/autorender_in_ie.ini" ] || fail "a settings file was written beside the program"
    rm -f "$appdata_ini" "$appdata_ini.before"
}

# --- A relative path in the settings file beside the program: taken from the program's folder,
# not from the current directory; and the application-data copy is not read at all. Without
# BYTES the address has no bytes in the script's code page: the quick add fails and writes
# nothing.
case_relative_settings() { # NAME LOCALE ARG [BYTES]
    new_case "$1"
    mkdir -p "$dir/sub" "$dir/elsewhere/sub"
    rm "$script"
    script="$dir/sub/Autorender in IE.js"
    start_script "$script"
    decoy_cwd="$dir/elsewhere/sub/Autorender in IE.js"
    decoy_appdata="$dir/appdata-decoy.js"
    start_script "$decoy_cwd"
    start_script "$decoy_appdata"
    keep "$decoy_cwd"
    keep "$decoy_appdata"
    settings_bytes '.\sub\Autorender in IE.js' >"$dir/autorender_in_ie.ini"
    keep "$dir/autorender_in_ie.ini"
    settings_bytes "$(winpath "$decoy_appdata")" >"$appdata_ini"
    keep "$appdata_ini"
    if [ $# -ge 4 ]; then
        LC_ALL=$2 drive cwd "$(winpath "$dir/elsewhere")" start-escaped "$exe_win" "$3" \
            expect-box Morvanti "添加$3成功。" press-ok expect-exit 0
        expected_script "$4" >"$dir/expected"
    else
        keep "$script"
        LC_ALL=$2 drive cwd "$(winpath "$dir/elsewhere")" start-escaped "$exe_win" "$3" \
            expect-box Morvanti "添加$3失败。" press-ok wait-dialog click 2 expect-exit 0
        cp "$script.before" "$dir/expected"
    fi
    same_bytes "$script" "$dir/expected"
    unchanged "$decoy_cwd"
    unchanged "$decoy_appdata"
    unchanged "$dir/autorender_in_ie.ini"
    unchanged "$appdata_ini"
    rm -f "$appdata_ini" "$appdata_ini.before"
}

# opera_profile FILE JAVASCRIPT-DIR: Opera's main configuration file (UTF-8 with byte-order
# mark, as Opera writes it) naming the user JavaScript folder.
opera_profile() {
    mkdir -p "$(dirname "$1")"
    printf '\xEF\xBB\xBFOpera Preferences version 2.1\r\n\r\n[Install]\r\nUser JavaScript File=Z:\\nowhere\r\n\r\n'\
'[User Prefs]\r\nLanguage=zh-cn\r\nUser JavaScript File=%s\r\n' "$2" >"$1"
}

# --- Opera, no settings file anywhere; the quick add stores none. Single-user mode reads the
# profile below the installation, multi-user mode the one in the application-data folder; the
# profile in the other place names a decoy folder whose script must stay untouched.
case_opera() { # NAME single|multi LOCALE ARG BYTES
    new_case "$1"
    rm "$dir/autorender_in_ie.ini" "$script"
    if [ -z "$opera_usable" ]; then fail "Opera's key was in the prefix already; not overwritten"; return; fi
    local install="$dir/opera" js_dir="$dir/用户脚本" decoy_dir="$dir/decoy"
    mkdir -p "$install" "$js_dir" "$decoy_dir"
    script="$js_dir/Autorender in IE.js"
    start_script "$script"
    start_script "$decoy_dir/Autorender in IE.js"
    keep "$decoy_dir/Autorender in IE.js"
    local own_profile decoy_profile install_value js_value
    if [ "$2" = single ]; then
        printf '[System]\r\nMulti User=0\r\n' >"$install/operadef6.ini"
        own_profile="$install/profile/opera6.ini"
        decoy_profile="$appdata_opera/Opera/profile/opera6.ini"
        install_value=$(winpath "$install")
        js_value=$(winpath "$js_dir")
    else
        printf '[System]\r\nMulti User=1\r\n' >"$install/operadef6.ini"
        own_profile="$appdata_opera/Opera/profile/opera6.ini"
        decoy_profile="$install/profile/opera6.ini"
        # Trailing backslashes: no second one is added before the file name.
        install_value="$(winpath "$install")\\"
        js_value="$(winpath "$js_dir")\\"
    fi
    opera_profile "$own_profile" "$js_value"
    opera_profile "$decoy_profile" "$(winpath "$decoy_dir")"
    reg add "$opera_key" /v 'Install Directory' /t REG_SZ /d "$install_value" /f || fail "cannot add Opera's key"
    quick_add "$3" "$4"
    expected_script "$5" >"$dir/expected"
    same_bytes "$script" "$dir/expected"
    unchanged "$decoy_dir/Autorender in IE.js"
    no_settings_written
    rm -rf "$appdata_opera"
}

# --- Opera 12, multi-user, installed in "Opera Next": the dialog finds the script in the folder
# that %APPDATA%\Opera\Opera Next\operaprefs.ini names, and its Close stores that path in the
# application-data settings file (UTF-16 LE, a Chinese folder in it); with Opera's key gone, a
# quick add then finds the script through that file alone. Opera's files stay as they were.
case_opera12_dialog() { # NAME LOCALE ARG BYTES
    new_case "$1"
    rm "$dir/autorender_in_ie.ini" "$script"
    if [ -z "$opera_usable" ]; then fail "Opera's key was in the prefix already; not overwritten"; return; fi
    local install="$dir/Opera Next" js_dir="$dir/用户脚本"
    local prefs="$appdata_opera/Opera Next/operaprefs.ini"
    mkdir -p "$install" "$js_dir"
    script="$js_dir/Autorender in IE.js"
    start_script "$script"
    printf '\xEF\xBB\xBFOpera Preferences version 2.1\r\n\r\n[System]\r\nMulti User=1\r\n' >"$install/operaprefs_default.ini"
    opera_profile "$prefs" "$(winpath "$js_dir")"
    keep "$prefs"
    keep "$install/operaprefs_default.ini"
    reg add "$opera_key" /v 'Install Directory' /t REG_SZ /d "$(winpath "$install")" /f || fail "cannot add Opera's key"
    local found_win
    found_win=$(winpath "$script")
    LC_ALL=$2 drive start "$exe_win" '' \
        expect-edit 1002 "${found_win//\\/\\\\}" expect-edit 1000 'http://a.example.org/*\r\n' \
        click 2 expect-exit 0
    settings_bytes "$found_win" >"$dir/settings.expected"
    same_bytes "$appdata_ini" "$dir/settings.expected"
    [ ! -e "$dir/autorender_in_ie.ini" ] || fail "a settings file was written beside the program"
    reg delete "$opera_key" /v 'Install Directory' /f || fail "cannot remove Opera's value"
    quick_add "$2" "$3"
    expected_script "$4" >"$dir/expected"
    same_bytes "$script" "$dir/expected"
    unchanged "$prefs"
    unchanged "$install/operaprefs_default.ini"
    rm -rf "$appdata_opera" "$appdata_ini"
}

# --- A header line that looks like a pattern of nothing but a tab is an ordinary comment: quick
# adds go to the include block above it, and it stays, as does the later include line after it.
case_tab_pattern() { # NAME LOCALE
    new_case "$1"
    printf '// ==UserScript==\r\n//@include http://a.example/*\r\n//@exclude \t\r\n//@include http://b.example/*\r\n// ==/UserScript==\r\n' \
        >"$script"
    quick_add "$2" 'http://new.example/'
    quick_add "$2" 'http://next.example/'
    printf '// ==UserScript==\r\n//@include http://a.example/*\r\n//@include http://new.example/\r\n//@include http://next.example/\r\n//@exclude \t\r\n//@include http://b.example/*\r\n// ==/UserScript==\r\n' \
        >"$dir/expected"
    same_bytes "$script" "$dir/expected"
}

# --- Quick adds started at the same moment on one large script (a browser's button pressed a few
# times) take turns: every address whose copy reported success is in the file once, one whose
# copy reported failure is not, and every line the file held before is still there, in order.
# A large script keeps each save long enough for the copies to meet. Several rounds.
race_copies=6
race_rounds=3
case_race() { # NAME LOCALE
    new_case "$1"
    { crlf_lines '// ==UserScript=='
      seq 1 20000 | awk '{ printf "//@include http://host%d.example.org/*\r\n", $1 }'
      crlf_lines '//@exclude http://b.example.org/*' '// ==/UserScript==' ''
      seq 1 2000 | awk '{ printf "if (u == %d) { opera.x(%d); }\r\n", $1, $1 }'; } >"$script"
    local round log
    for round in $(seq 1 "$race_rounds"); do
        cp "$script" "$dir/before"
        log="$dir/round$round.log"
        LC_ALL=$2 wine "$driver" desktop "morvanti-e2e-$$" timeout 120000 \
            run-many "$exe_win" "$race_copies" "http://race$round-{n}.example.net/" >"$log" 2>&1 </dev/null \
            || fail "round $round: driver exit $?"
        sed "s/^/    [$current] /" "$log"
        check_copies "$log" "$race_copies" "http://race$round-{n}.example.net/"
        grep -v "^//@include http://race$round-[0-9]*\.example\.net/"$'\r'"\$" "$script" | cmp -s - "$dir/before" \
            || fail "round $round: lines the script held before were lost or changed"
        echo "    [$current] round $round: $added of $race_copies added"
    done
}

# check_copies LOG COPIES ADDRESS: each copy of a run-many (copy n added ADDRESS with {n} made n)
# that reported success has its address in the script once, one that reported failure not at
# all; at least one succeeded. Sets added to how many did.
check_copies() {
    local n address lines
    added=0
    for n in $(seq 1 "$2"); do
        address=${3//\{n\}/$n}
        lines=$(grep -c "^//@include $address"$'\r'"\$" "$script")
        if grep -qF "copy $n box \"Morvanti\" \"添加${address}成功。\"" "$1"; then
            added=$((added + 1))
            [ "$lines" -eq 1 ] || fail "$address reported success, and is in the file $lines times"
        elif grep -qF "copy $n box \"Morvanti\" \"添加${address}失败。\"" "$1"; then
            [ "$lines" -eq 0 ] || fail "$address reported failure, and is in the file"
        else
            fail "the copy that adds $address reported nothing"
        fi
    done
    [ "$added" -gt 0 ] || fail "$(basename "$1"): no copy reported success"
}

# --- A second PC: another Windows installation (a prefix of its own, with its own Wine server,
# so its own sessions and named objects) that reaches the case's folder as its drive M:, while
# this one names it Z:\... . Only the host's files, and their byte-range locks, are shared. Both
# quick-add at once into a script that takes a while to save; then this one's dialog presses Save
# while the other's quick adds wait for their turns. Every success either reported is in the file,
# and nothing the file held before is lost.
peer=$WINEPREFIX-peer
peer_started=
# drive_in PREFIX LOG COMMAND...: a driver in that installation, its output in LOG.
drive_in() { WINEPREFIX=$1 wine "$driver" desktop "morvanti-e2e-$$" timeout 120000 "${@:3}" >"$2" 2>&1 </dev/null; }
case_two_pcs() { # NAME LOCALE
    new_case "$1"
    if [ -z "$peer_started" ]; then
        (MORVANTI_WINEPREFIX=$peer; . "$(dirname "${BASH_SOURCE[0]}")/../../tools/wine-env.sh" && morvanti_wine_start) \
            || { fail "cannot start the second prefix"; return; }
        peer_started=1
        WINEPREFIX=$peer wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null
    fi
    ln -sfn "$dir" "$peer/dosdevices/m:"
    mkdir "$dir/peer"
    cp "$exe" "$dir/peer/morvanti.exe"
    settings_bytes 'M:\Autorender in IE.js' >"$dir/peer/autorender_in_ie.ini"
    { crlf_lines '// ==UserScript==' '//@include http://a.example.org/*' '// ==/UserScript==' ''
      seq 1 200000 | awk '{ printf "if (u == %d) { opera.x(%d); }\r\n", $1, $1 }'; } >"$script"
    cp "$script" "$dir/before"
    LC_ALL=$2 drive_in "$WINEPREFIX" "$dir/here.log" run-many "$exe_win" 3 'http://here-{n}.example.net/' &
    local here=$!
    LC_ALL=$2 drive_in "$peer" "$dir/there.log" run-many 'M:\peer\morvanti.exe' 3 'http://there-{n}.example.net/' \
        || fail "driver exit on the other PC"
    wait $here || fail "driver exit on this PC"
    # The include box as the dialog fills it, and one more address.
    local box
    box=$(sed -n 's|^//@include \(.*\)\r$|\1\\r\\n|p' "$script" | tr -d '\n')
    LC_ALL=$2 drive_in "$WINEPREFIX" "$dir/dialog.log" start "$exe_win" '' wait-dialog \
        expect-edit 1000 "$box" set-edit 1000 "${box}http://dialog.example.net/\\r\\n" \
        copy-file "$(winpath "$dir/autorender_in_ie.ini")" "$(winpath "$dir/ready")" wait-file "$(winpath "$dir/go")" \
        click 1 expect-box 成功 '写入javascript文件成功。' press-ok click 2 expect-exit 0 &
    local dialog=$! tries=0
    while [ ! -e "$dir/ready" ] && [ $tries -lt 600 ]; do sleep 0.1; tries=$((tries + 1)); done
    LC_ALL=$2 drive_in "$peer" "$dir/late.log" run-many 'M:\peer\morvanti.exe' 4 'http://late-{n}.example.net/' &
    local late=$!
    sleep 1.5  # the other's copies are started and taking turns
    touch "$dir/go"
    wait $dialog || fail "driver exit in the dialog"
    wait $late || fail "driver exit on the other PC"
    local side
    for side in here there dialog late; do sed "s/^/    [$current] $side: /" "$dir/$side.log"; done
    check_copies "$dir/here.log" 3 'http://here-{n}.example.net/'
    check_copies "$dir/there.log" 3 'http://there-{n}.example.net/'
    check_copies "$dir/late.log" 4 'http://late-{n}.example.net/'
    [ "$(grep -c '^//@include http://dialog\.example\.net/'$'\r''$' "$script")" -eq 1 ] \
        || fail "the dialog's address is not in the file once"
    grep -v "^//@include http://\(here-.\|there-.\|late-.\|dialog\)\.example\.net/"$'\r'"\$" "$script" \
        | cmp -s - "$dir/before" || fail "lines the script held before were lost or changed"
}

# --- A folder where the user may not make files, the script in it writable (an administrator
# grants Modify on the script alone, as every new "*.js" there would run in every page). The quick
# add and the dialog's Save write the script itself, in place: it holds exactly the change, and
# nothing else in the folder changes, not even a lock file; the journal lay in the user's own
# folder while the save ran, and is gone.
case_refusing_folder() { # NAME LOCALE ARG BYTES
    new_case "$1"
    tester_start || return
    start_script "$script"
    chown "$tester:" "$script"
    chmod 755 "$dir"
    local before identity box
    before=$(folder_state "$dir")
    identity=$(file_identity "$script")
    tester_drive "$2" start-escaped "$exe_win" "$3" expect-box Morvanti "添加$3成功。" press-ok expect-exit 0
    expected_script "$4" >"$work/$1.expected"
    same_bytes "$script" "$work/$1.expected"
    box="http://a.example.org/*\\r\\n$3\\r\\n"
    tester_drive "$2" start "$exe_win" '' wait-dialog expect-edit 1000 "$box" \
        set-edit 1000 "${box}http://dialog.example.net/\\r\\n" \
        click 1 expect-box 成功 '写入javascript文件成功。' press-ok click 2 expect-exit 0
    [ "$(grep -c '^//@include http://dialog\.example\.net/'$'\r''$' "$script")" -eq 1 ] \
        || fail "the dialog's address is not in the file once"
    [ "$(folder_state "$dir")" = "$before" ] || fail "the folder changed: $(folder_state "$dir")"
    [ "$(file_identity "$script")" = "$identity" ] || fail "the script is not the file it was"
    [ -z "$(ls -A "$(tester_journals)" 2>/dev/null)" ] || fail "a journal was left: $(ls -A "$(tester_journals)")"
}

# --- A lock file that the user may only read: read-only, or made by another user (the first user of
# a shared folder, a copy from a backup). Quick adds still get their turns, and it stays as it was.
case_lock_file() { # NAME LOCALE read-only|foreign ARG BYTES
    new_case "$1"
    tester_start || return
    start_script "$script"
    chown "$tester:" "$script" "$dir"
    : >"$dir/Morvanti.lock"
    if [ "$3" = read-only ]; then chown "$tester:" "$dir/Morvanti.lock"; chmod 444 "$dir/Morvanti.lock"; fi
    local lock
    lock=$(file_identity "$dir/Morvanti.lock")
    tester_drive "$2" start-escaped "$exe_win" "$4" expect-box Morvanti "添加$4成功。" press-ok expect-exit 0
    expected_script "$5" >"$work/$1.expected"
    same_bytes "$script" "$work/$1.expected"
    # Three at once take turns through it.
    cp "$script" "$work/$1.before"
    "${tester_env[@]}" "LC_ALL=$2" "LANG=$2" wine "$tester_base/bin/e2e_driver.exe" desktop "morvanti-e2e-$$" \
        timeout 120000 run-many "$exe_win" 3 'http://turn-{n}.example.net/' >"$work/$1.log" 2>&1 </dev/null \
        || fail "driver exit $?"
    sed "s/^/    [$current] /" "$work/$1.log"
    check_copies "$work/$1.log" 3 'http://turn-{n}.example.net/'
    LC_ALL=C grep -av '^//@include http://turn-[0-9]\.example\.net/'$'\r''$' "$script" | cmp -s - "$work/$1.before" \
        || fail "lines the script held before were lost or changed"
    [ "$(file_identity "$dir/Morvanti.lock")" = "$lock" ] || fail "the lock file changed"
}

# --- A script reached through a symbolic link, as a profile links a script that it shares, with a
# second name (a hard link) in another profile, another owner and permissions of its own (readable
# by its group alone): a new file in its place would be the saving user's and readable by all. It is
# written in place: the link stays a link, both names hold the change, the file keeps its owner
# and permissions, and the turn is taken where the file lives.
case_links() { # NAME LOCALE ARG BYTES
    new_case "$1"
    mkdir "$dir/shared" "$dir/profile2"
    local target="$dir/shared/Autorender in IE.js" identity
    start_script "$target"
    rm "$script"
    ln -s "shared/Autorender in IE.js" "$script"
    ln "$target" "$dir/profile2/Autorender in IE.js"
    chown nobody "$target"
    chmod 640 "$target"
    identity=$(file_identity "$target")
    quick_add "$2" "$3"
    expected_script "$4" >"$work/$1.expected"
    [ -L "$script" ] || fail "the link was replaced by a file"
    same_bytes "$target" "$work/$1.expected"
    same_bytes "$dir/profile2/Autorender in IE.js" "$work/$1.expected"
    [ "$(file_identity "$target")" = "$identity" ] || fail "the file is not the one it was: $(file_identity "$target")"
    [ -e "$dir/shared/Morvanti.lock" ] && [ ! -e "$dir/Morvanti.lock" ] || fail "the turn was not taken beside the file"
    [ -z "$(find "$dir" -name '*.journal' -o -name '~mv*')" ] || fail "a journal or a new file was left"
}

# --- Another program (an editor saving in place) rewrites the script while the quick add writes
# its new file: the quick add reads the script again and adds its address to that content.
case_outside_writer() { # NAME LOCALE ARG BYTES
    new_case "$1"
    { crlf_lines "${script_lines[@]:0:5}"
      seq 1 600000 | awk '{ printf "if (u == %d) { opera.x(%d); }\r\n", $1, $1 }'; } >"$script"
    LC_ALL=$2 wine "$driver" desktop "morvanti-e2e-$$" start-escaped "$exe_win" "$3" \
        expect-box Morvanti "添加$3成功。" press-ok expect-exit 0 >"$work/$1.log" 2>&1 </dev/null &
    local quick=$! tries=0
    while ! compgen -G "$dir/~mvt*.tmp" >/dev/null && [ $tries -lt 6000 ]; do sleep 0.01; tries=$((tries + 1)); done
    # The editor's content: the script as it began, with one line of its own in the header.
    { crlf_lines "${script_lines[0]}" '//@include http://editor.example.org/*' "${script_lines[@]:1}"
      printf "$gbk_line\\r\\n"; } >"$work/$1.editor"
    cat "$work/$1.editor" >"$script"
    wait $quick || fail "driver exit $?"
    sed "s/^/    [$current] /" "$work/$1.log"
    [ $tries -lt 6000 ] || fail "the quick add's new file was not seen"
    { crlf_lines "${script_lines[0]}" '//@include http://editor.example.org/*' "${script_lines[1]}"
      printf '//@include %b\r\n' "$4"
      crlf_lines "${script_lines[@]:2}"
      printf "$gbk_line\\r\\n"; } >"$work/$1.expected"
    same_bytes "$script" "$work/$1.expected"
}

case_appdata_settings appdata-settings-1252 "$cp1252" "$ascii_arg" "$ascii_bytes"
case_relative_settings relative-settings-1252 "$cp1252" "$chinese_arg"
case_opera opera-single-1252 single "$cp1252" "$ascii_arg" "$ascii_bytes"
case_opera opera-multi-1252 multi "$cp1252" "$latin_arg" "$latin_bytes_1252"
case_opera12_dialog opera12-dialog-1252 "$cp1252" "$latin_arg" "$latin_bytes_1252"
case_tab_pattern tab-pattern-1252 "$cp1252"
case_race race-1252 "$cp1252"
case_two_pcs two-pcs-1252 "$cp1252"
case_refusing_folder refusing-folder-1252 "$cp1252" "$latin_arg" "$latin_bytes_1252"
case_lock_file read-only-lock-1252 "$cp1252" read-only "$ascii_arg" "$ascii_bytes"
case_lock_file foreign-lock-1252 "$cp1252" foreign "$latin_arg" "$latin_bytes_1252"
case_links links-1252 "$cp1252" "$latin_arg" "$latin_bytes_1252"
case_outside_writer outside-writer-1252 "$cp1252" "$ascii_arg" "$ascii_bytes"

case_appdata_settings appdata-settings-936 "$cp936" "$chinese_arg" "$chinese_bytes_936"
case_relative_settings relative-settings-936 "$cp936" "$chinese_arg" "$chinese_bytes_936"
case_opera opera-single-936 single "$cp936" "$chinese_arg" "$chinese_bytes_936"
case_opera opera-multi-936 multi "$cp936" "$chinese_arg" "$chinese_bytes_936"
case_opera12_dialog opera12-dialog-936 "$cp936" "$chinese_arg" "$chinese_bytes_936"
case_tab_pattern tab-pattern-936 "$cp936"
case_race race-936 "$cp936"
case_two_pcs two-pcs-936 "$cp936"
case_refusing_folder refusing-folder-936 "$cp936" "$chinese_arg" "$chinese_bytes_936"
case_lock_file read-only-lock-936 "$cp936" read-only "$chinese_arg" "$chinese_bytes_936"
case_lock_file foreign-lock-936 "$cp936" foreign "$ascii_arg" "$ascii_bytes"
case_links links-936 "$cp936" "$chinese_arg" "$chinese_bytes_936"
case_outside_writer outside-writer-936 "$cp936" "$chinese_arg" "$chinese_bytes_936"

# The script's last line is no UTF-8 (GBK bytes), so the script is 8-bit text in the ANSI code
# page, which is UTF-8 here: that line keeps its bytes, the address is written in UTF-8.
case_opera opera-single-65001 single "$cp65001" "$chinese_arg" "$chinese_bytes_65001"
case_opera12_dialog opera12-dialog-65001 "$cp65001" "$chinese_arg" "$chinese_bytes_65001"

finish
