#!/usr/bin/env bash
# End-to-end test of morvanti.exe: each case copies the program into a fresh folder beside its
# settings file and script, drives it with e2e_driver.exe under Wine on a private X server, and
# compares the files it wrote byte for byte with what they must hold.
#
#   run_e2e.sh BUILD_DIR [MORVANTI_EXE DRIVER_EXE]
#
# Uses the Wine prefix in WINEPREFIX (tools/wine-env.sh), which must be started.
set -uo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/e2e_common.sh"

ok_script=$(printf '%s' '无法打开javascript文件，请检查其是否存在。')

# --- Quick add: the whole argument, quotes removed, becomes the last include pattern.
new_case quick-add
drive start "$exe_win" '"http://new.example.net/a b"' \
    expect-box Morvanti '添加http://new.example.net/a b成功。' press-ok expect-exit 0
crlf_lines '// ==UserScript==' '//@include http://a.example.org/*' '//@include http://new.example.net/a b' \
    '//@exclude http://b.example.org/*' '// ==/UserScript==' '' "${script_lines[5]}" >"$dir/expected"
same_bytes "$script" "$dir/expected"

# --- On a terminal, as tools/run.sh runs it: what the driver reports of a box and of the dialog's
# lists reads there as the same UTF-8 text that a file or a pipe gets (a console would take bytes
# in its own code page). A UTF-8 script in a Chinese folder.
new_case terminal
mkdir "$dir/脚本"
script="$dir/脚本/Autorender in IE.js"
crlf_lines '// ==UserScript==' '//@include http://中文.example/*' '//@exclude http://排除.example/*' \
    '// ==/UserScript==' >"$script"
settings_bytes "$(winpath "$script")" >"$dir/autorender_in_ie.ini"
on_terminal() { # ADDRESS: the driver's report through a pseudo-terminal, in $dir/terminal.txt
    script -qefc "$(printf '%q ' wine "$driver" desktop "morvanti-e2e-$$" start "$exe_win" "$1" \
        show-boxes-until-exit)" "$dir/terminal.txt" >/dev/null 2>&1 </dev/null || fail "driver exit $?"
    sed "s/^/    [$current] /" "$dir/terminal.txt"
}
on_terminal 'http://新.example/'
grep -qF '[Morvanti] 添加http://新.example/成功。' "$dir/terminal.txt" || fail "the quick add's box reads wrong"
on_terminal ''
for line in 'http://中文.example/*' 'http://新.example/' 'http://排除.example/*' "$(winpath "$script")"; do
    grep -qF "$line" "$dir/terminal.txt" || fail "the dialog's lists do not show [$line]"
done

# --- Quick add that fails: the failure box, then the dialog with its own error box.
new_case quick-add-fails
rm "$script"
drive start "$exe_win" 'http://x.example.net/' \
    expect-box Morvanti '添加http://x.example.net/失败。' press-ok \
    expect-box 错误 "$ok_script" press-ok \
    expect-edit 1002 "${script_win//\\/\\\\}" expect-edit 1000 '' expect-edit 1001 '' \
    click 2 expect-exit 0
[ ! -e "$script" ] || fail "a script was created"

# --- Names of devices and pipes are no script: a read from one can wait for ever (a serial port
# waits for data), so the quick add, the dialog's load, its Reload and its Save each say within a
# second that the script cannot be opened, and nothing is written anywhere. A {dir} in a row is
# the case's folder, the program's current one. Under Wine COM1 is the machine's first serial
# port; Z:\dev\zero (a device under a file's name) and a FIFO in the folder are refused by what
# the opened handle is, as no name shows them.
device_pipe="morvanti-e2e-$$"
# What a folder holds, to the byte; a FIFO is listed, never opened. (The dialog's Close leaves
# the settings file, which names the path already, alone.)
folder_state() { (cd "$1" && ls -A && find . -maxdepth 1 -type f -exec md5sum {} + | sort); }
device_rows=(NUL CON COM1 LPT1 AUX COM1.js '\\.\NUL' "\\\\.\\pipe\\$device_pipe" '{dir}\com1.txt' 'Z:\dev\zero'
    '{dir}\fifo.js')
for n in "${!device_rows[@]}"; do
    new_case "device-$n"
    dir_win=${script_win%\\*}
    value=${device_rows[$n]//\{dir\}/$dir_win}
    [ "$value" = "$dir_win\\fifo.js" ] && mkfifo "$dir/fifo.js"
    settings_bytes "$value" >"$dir/autorender_in_ie.ini"
    pipe_steps=()
    [[ "$value" == *"\\pipe\\"* ]] && pipe_steps=(pipe-server "$device_pipe")
    pipe_check=()
    [ ${#pipe_steps[@]} -gt 0 ] && pipe_check=(expect-pipe-unused)
    before=$(folder_state "$dir")
    appdata_before=$(folder_state "$appdata_unix")
    echo "    [$current] ScriptPath=$value"
    # Each failure must come within a second; a Wine process takes longer than that to start.
    drive cwd "$dir_win" ${pipe_steps[@]+"${pipe_steps[@]}"} timeout 5000 start "$exe_win" 'http://device.example.net/' \
        expect-box Morvanti '添加http://device.example.net/失败。' press-ok \
        timeout 1000 expect-box 错误 "$ok_script" timeout 5000 press-ok expect-edit 1002 "${value//\\/\\\\}" \
        click 1003 timeout 1000 expect-box 错误 "$ok_script" timeout 5000 press-ok \
        click 1 timeout 1000 expect-box 错误 "$ok_script" timeout 5000 press-ok \
        ${pipe_check[@]+"${pipe_check[@]}"} click 2 expect-exit 0
    diff <(echo "$before") <(folder_state "$dir") || fail "something in the case's folder changed"
    [ "$(folder_state "$appdata_unix")" = "$appdata_before" ] \
        || fail "something in the application-data folder changed"
done

# --- A settings file that is a device under a file's name (under Wine, a link to /dev/zero) is
# not read: it counts as missing, as the application-data one does here, and neither is written.
new_case settings-device
rm "$dir/autorender_in_ie.ini"
ln -s /dev/zero "$dir/autorender_in_ie.ini"
saved_appdata=
if [ -e "$appdata_ini" ]; then saved_appdata="$work/appdata.ini.saved"; mv "$appdata_ini" "$saved_appdata"; fi
before=$(folder_state "$dir")
drive timeout 5000 start "$exe_win" 'http://device.example.net/' \
    expect-box Morvanti '添加http://device.example.net/失败。' press-ok \
    timeout 1000 expect-box 错误 '找不到javascript文件，请自己指定其路径。' timeout 5000 press-ok \
    click 2 expect-exit 0
diff <(echo "$before") <(folder_state "$dir") || fail "something in the case's folder changed"
[ -L "$dir/autorender_in_ie.ini" ] || fail "the link was replaced"
[ ! -e "$appdata_ini" ] || fail "a settings file was written in the application-data folder"
[ -n "$saved_appdata" ] && mv "$saved_appdata" "$appdata_ini"

# --- The three boxes after start, then Save after editing the include box.
new_case save
drive start "$exe_win" '' \
    expect-edit 1000 'http://a.example.org/*\r\n' expect-edit 1001 'http://b.example.org/*\r\n' \
    expect-edit 1002 "${script_win//\\/\\\\}" \
    set-edit 1000 'http://c.example.org/*\r\n\r\n  http://d.example.org/*\r\n' \
    click 1 expect-box 成功 '写入javascript文件成功。' press-ok \
    expect-edit 1000 'http://c.example.org/*\r\n\r\n  http://d.example.org/*\r\n' \
    click 2 expect-exit 0
crlf_lines '// ==UserScript==' '//@include http://c.example.org/*' '//@include   http://d.example.org/*' \
    '//@exclude http://b.example.org/*' '// ==/UserScript==' '' "${script_lines[5]}" >"$dir/expected"
same_bytes "$script" "$dir/expected"

# --- Reload: refills the boxes from the file the path box names and adopts that path, which
# Close then stores as the settings file's only value. With an edit in the boxes it asks first:
# 否 keeps the edit, 是 reloads.
new_case reload
other="$dir/other.js"
crlf_lines '//@exclude http://e.example.org/*' '//@include http://f.example.org/*' 'var x;' >"$other"
cp "$other" "$dir/other.expected"
other_win=$(winpath "$other")
printf '; kept only until the next Close\r\n' | iconv -f UTF-8 -t UTF-16LE >>"$dir/autorender_in_ie.ini"
reload_asked=(expect-box Morvanti '列表已修改，重新读取将放弃这些修改。是否仍要重新读取？')
drive start "$exe_win" '' \
    set-edit 1000 'typed but not saved\r\n' click 1003 "${reload_asked[@]}" press 7 \
    expect-edit 1000 'typed but not saved\r\n' click 1003 "${reload_asked[@]}" press 6 \
    expect-edit 1000 'http://a.example.org/*\r\n' \
    set-edit 1002 "${other_win//\\/\\\\}" click-wait 1003 \
    expect-edit 1000 'http://f.example.org/*\r\n' expect-edit 1001 'http://e.example.org/*\r\n' \
    set-edit 1002 "${other_win//\\/\\\\}.missing" click 1003 expect-box 错误 "$ok_script" press-ok \
    expect-edit 1000 'http://f.example.org/*\r\n' \
    click 2 expect-exit 0
same_bytes "$other" "$dir/other.expected"
settings_bytes "$other_win" >"$dir/settings.expected"
same_bytes "$dir/autorender_in_ie.ini" "$dir/settings.expected"

# --- An empty path box: Save and Reload refuse it and touch nothing (Reload asks nothing first);
# Close asks about the edit, 否 ends without saving.
new_case empty-path
cp "$script" "$dir/expected"
drive start "$exe_win" '' \
    set-edit 1002 '' set-edit 1000 'http://lost.example.org/\r\n' \
    click 1 expect-box 错误 'javascript文件不能指定为空。' press-ok \
    click 1003 expect-box 错误 'javascript文件不能指定为空。' press-ok \
    expect-edit 1000 'http://lost.example.org/\r\n' click 2 expect-box Morvanti '列表已修改，是否先保存？' press 7 \
    expect-exit 0
same_bytes "$script" "$dir/expected"

# --- A path relative to the program's folder: Save and Reload open the file initialisation
# opened, not one relative to the current directory.
new_case relative-path
mkdir -p "$dir/sub" "$dir/elsewhere/sub"
mv "$script" "$dir/sub/Autorender in IE.js"
script="$dir/sub/Autorender in IE.js"
crlf_lines '//@include http://decoy.example.org/' >"$dir/elsewhere/sub/Autorender in IE.js"
cp "$dir/elsewhere/sub/Autorender in IE.js" "$dir/decoy.expected"
settings_bytes '.\sub\Autorender in IE.js' >"$dir/autorender_in_ie.ini"
drive cwd "$(winpath "$dir/elsewhere")" start "$exe_win" '' \
    expect-edit 1002 '.\\sub\\Autorender in IE.js' expect-edit 1000 'http://a.example.org/*\r\n' \
    set-edit 1001 'http://g.example.org/*\r\n' click 1 expect-box 成功 '写入javascript文件成功。' press-ok \
    set-edit 1001 '' click 1003 "${reload_asked[@]}" press 6 expect-edit 1001 'http://g.example.org/*\r\n' \
    click 2 expect-exit 0
crlf_lines '// ==UserScript==' '//@include http://a.example.org/*' '//@exclude http://g.example.org/*' \
    '// ==/UserScript==' '' "${script_lines[5]}" >"$dir/expected"
same_bytes "$script" "$dir/expected"
same_bytes "$dir/elsewhere/sub/Autorender in IE.js" "$dir/decoy.expected"
settings_bytes '.\sub\Autorender in IE.js' >"$dir/settings.expected"
same_bytes "$dir/autorender_in_ie.ini" "$dir/settings.expected"

# --- Pattern lists far longer than an edit box's default limit (30000 characters) survive Save
# whole: one read in from the script, one typed into the box.
new_case long-lists
long=('// ==UserScript==')
for i in $(seq 1 3000); do long+=("//@include http://host$i.example.org/*"); done
long+=('// ==/UserScript==')
crlf_lines "${long[@]}" >"$script"
cp "$script" "$dir/expected"
drive timeout 60000 start "$exe_win" '' \
    click 1 expect-box 成功 '写入javascript文件成功。' press-ok click 2 expect-exit 0
same_bytes "$script" "$dir/expected"
drive timeout 60000 start "$exe_win" '' \
    set-edit-lines 1001 'http://x.example.org/' 2500 \
    click 1 expect-box 成功 '写入javascript文件成功。' press-ok click 2 expect-exit 0
# The script had no exclude block: the new one goes to the very top.
{ for i in $(seq 1 2500); do printf '//@exclude http://x.example.org/%s\r\n' "$i"; done
  crlf_lines "${long[@]}"; } >"$dir/expected"
same_bytes "$script" "$dir/expected"

# --- No settings file anywhere and no Opera: the not-found box; Close without a path change
# writes nothing, and a path typed in and reloaded is stored in the application-data folder.
new_case not-found
rm "$dir/autorender_in_ie.ini"
saved_appdata=
if [ -e "$appdata_ini" ]; then saved_appdata="$work/appdata.ini.saved"; mv "$appdata_ini" "$saved_appdata"; fi
drive start "$exe_win" '' \
    expect-box 错误 '找不到javascript文件，请自己指定其路径。' press-ok \
    expect-edit 1002 '' expect-edit 1000 '' click 2 expect-exit 0
[ ! -e "$appdata_ini" ] || fail "Close stored a path that did not change"
[ ! -e "$dir/autorender_in_ie.ini" ] || fail "Close wrote a settings file beside the program"
drive start "$exe_win" '' \
    expect-box 错误 '找不到javascript文件，请自己指定其路径。' press-ok \
    set-edit 1002 "${script_win//\\/\\\\}" click-wait 1003 expect-edit 1000 'http://a.example.org/*\r\n' \
    click 2 expect-exit 0
settings_bytes "$script_win" >"$dir/settings.expected"
same_bytes "$appdata_ini" "$dir/settings.expected"
rm -f "$appdata_ini"
[ -n "$saved_appdata" ] && mv "$saved_appdata" "$appdata_ini"

# --- Save while another copy of the program adds an address to the same script (a quick add
# from the browser): the file keeps the address beside the typed change and the box shows both;
# the other box, which took in nothing, stays as typed. A line taken out of the box after that
# Save stays out at the next one, which takes in the next added address.
new_case save-merges-added
drive start "$exe_win" '' \
    expect-edit 1000 'http://a.example.org/*\r\n' \
    run-beside "$exe_win" 'http://added.example.net/' Morvanti '添加http://added.example.net/成功。' \
    set-edit 1000 'http://a.example.org/*\r\nhttp://typed.example.org/*\r\n' \
    set-edit 1001 'http://b.example.org/*\r\n\r\n' \
    click 1 expect-box 成功 '写入javascript文件成功。' press-ok \
    expect-edit 1000 'http://a.example.org/*\r\nhttp://typed.example.org/*\r\nhttp://added.example.net/\r\n' \
    expect-edit 1001 'http://b.example.org/*\r\n\r\n' \
    set-edit 1000 'http://a.example.org/*\r\nhttp://typed.example.org/*\r\n' \
    run-beside "$exe_win" 'http://second.example.net/' Morvanti '添加http://second.example.net/成功。' \
    click 1 expect-box 成功 '写入javascript文件成功。' press-ok \
    expect-edit 1000 'http://a.example.org/*\r\nhttp://typed.example.org/*\r\nhttp://second.example.net/\r\n' \
    click 2 expect-exit 0
crlf_lines '// ==UserScript==' '//@include http://a.example.org/*' '//@include http://typed.example.org/*' \
    '//@include http://second.example.net/' '//@exclude http://b.example.org/*' '// ==/UserScript==' '' \
    "${script_lines[5]}" >"$dir/expected"
same_bytes "$script" "$dir/expected"

# --- Save after another program took a line out of the script: it stays out, the typed line
# goes in, and the box shows the list as saved. The path box names the same file with its folder
# in other letter case, which is still the file the boxes came from. (Only the folder: Wine's
# ReplaceFileW gives the file the letter case of the name it was called with, Windows keeps the
# old name's.)
new_case save-merges-removed
crlf_lines '// ==UserScript==' '//@include http://a.example.org/*' '//@include http://r.example.org/*' \
    '//@exclude http://b.example.org/*' '// ==/UserScript==' >"$script"
crlf_lines '// ==UserScript==' '//@include http://a.example.org/*' \
    '//@exclude http://b.example.org/*' '// ==/UserScript==' '// edited elsewhere' >"$dir/edited.js"
script_folder_win=$(winpath "$dir")
upper_win="${script_folder_win^^}\\Autorender in IE.js"
drive start "$exe_win" '' \
    expect-edit 1000 'http://a.example.org/*\r\nhttp://r.example.org/*\r\n' \
    copy-file "$(winpath "$dir/edited.js")" "$script_win" \
    set-edit 1000 'http://a.example.org/*\r\nhttp://r.example.org/*\r\n\r\nhttp://typed.example.org/*\r\n' \
    set-edit 1002 "${upper_win//\\/\\\\}" \
    click 1 expect-box 成功 '写入javascript文件成功。' press-ok \
    expect-edit 1000 'http://a.example.org/*\r\nhttp://typed.example.org/*\r\n' \
    expect-edit 1001 'http://b.example.org/*\r\n' \
    click 2 expect-exit 0
crlf_lines '// ==UserScript==' '//@include http://a.example.org/*' '//@include http://typed.example.org/*' \
    '//@exclude http://b.example.org/*' '// ==/UserScript==' '// edited elsewhere' >"$dir/expected"
same_bytes "$script" "$dir/expected"

# --- Save to another file than the boxes came from, answered 是: the boxes are written as they
# are, even though another copy of the program added an address to that file meanwhile, and
# nothing of what it added to the first file comes in either.
new_case save-to-other-file
mkdir -p "$dir/second"
cp "$exe" "$dir/second/morvanti.exe"
other="$dir/other.js"
crlf_lines '//@include http://o.example.org/*' '//@exclude http://p.example.org/*' 'var o;' >"$other"
other_win=$(winpath "$other")
settings_bytes "$other_win" >"$dir/second/autorender_in_ie.ini"
drive start "$exe_win" '' \
    expect-edit 1000 'http://a.example.org/*\r\n' \
    set-edit 1002 "${other_win//\\/\\\\}" \
    run-beside "$(winpath "$dir/second/morvanti.exe")" 'http://other.example.net/' Morvanti \
        '添加http://other.example.net/成功。' \
    run-beside "$exe_win" 'http://first.example.net/' Morvanti '添加http://first.example.net/成功。' \
    set-edit 1000 'http://a.example.org/*\r\nhttp://typed.example.org/*\r\n' \
    click 1 expect-box Morvanti "保存将用列表替换这个javascript文件中已有的网址：\\r\\n${other_win//\\/\\\\}\\r\\n列表读取自：\\r\\n${script_win//\\/\\\\}\\r\\n是否保存？" \
    press 6 expect-box 成功 '写入javascript文件成功。' press-ok \
    expect-edit 1000 'http://a.example.org/*\r\nhttp://typed.example.org/*\r\n' \
    click 2 expect-exit 0
crlf_lines '//@include http://a.example.org/*' '//@include http://typed.example.org/*' \
    '//@exclude http://b.example.org/*' 'var o;' >"$dir/other.expected"
same_bytes "$other" "$dir/other.expected"
crlf_lines '// ==UserScript==' '//@include http://a.example.org/*' '//@include http://first.example.net/' \
    '//@exclude http://b.example.org/*' '// ==/UserScript==' '' "${script_lines[5]}" >"$dir/expected"
same_bytes "$script" "$dir/expected"

# --- A script saved as UTF-8 (Chinese comments, a Chinese pattern), under code page 936, where
# those bytes are no valid GBK: the dialog shows the patterns as they read, and Save writes an
# edit in UTF-8 while every other line keeps its bytes. The same with a byte-order mark.
for mark in '' $'\xEF\xBB\xBF'; do
    new_case "utf8-script${mark:+-mark}"
    utf8_lines=('// ==UserScript=='
        '// @description  隐藏"人民勤务员"主页个人简介,脚本集'
        '//@include http://中文.example.org/*'
        '//@exclude http://b.example.org/*'
        '// ==/UserScript=='
        ''
        "var greeting = '你好';")
    { printf '%s' "$mark"; crlf_lines "${utf8_lines[@]}"; } >"$script"
    LC_ALL=zh_CN.UTF-8 drive start "$exe_win" '' \
        expect-edit 1000 'http://\u4E2D\u6587.example.org/*\r\n' \
        set-edit 1000 'http://\u4E2D\u6587.example.org/*\r\nhttp://\u65B0\u95FB.example.org/\r\n' \
        click 1 expect-box 成功 '写入javascript文件成功。' press-ok click 2 expect-exit 0
    { printf '%s' "$mark"; crlf_lines "${utf8_lines[@]:0:3}" '//@include http://新闻.example.org/' \
        "${utf8_lines[@]:3}"; } >"$dir/expected"
    same_bytes "$script" "$dir/expected"
done

# --- Nothing is damaged while success is reported. A UTF-16 big-endian script is neither shown
# nor written. Characters an ANSI script's code page lacks are refused with the line named, the
# box keeping its text. A line of spaces typed between two patterns is dropped, at this Save and
# the next, so the pattern after it stays in the list.
new_case no-silent-damage
printf '\xFE\xFF' >"$script"
crlf_lines '//@include http://a.example.org/*' 'x' | iconv -f UTF-8 -t UTF-16BE >>"$script"
cp "$script" "$dir/expected"
not_kept=$(printf '%s' '无法保持javascript文件的编码不变（UTF-16大端序、含有NUL字符或不完整的UTF-16），为免损坏文件，未读取也未修改它。')
drive start "$exe_win" '' \
    expect-box 错误 "$not_kept" press-ok expect-edit 1000 '' \
    set-edit 1000 'http://typed.example.org/\r\n' click 1 expect-box 错误 "$not_kept" press-ok \
    click 2 expect-box Morvanti '列表已修改，是否先保存？' press 7 expect-exit 0
same_bytes "$script" "$dir/expected"
{ crlf_lines '// ==UserScript==' '//@include http://a.example.org/*' '// ==/UserScript=='; printf 'var s = "\xE9";\r\n'; } >"$script"
cp "$script" "$dir/expected"
LC_ALL=en_US.UTF-8 drive start "$exe_win" '' \
    set-edit 1000 'http://a.example.org/*\r\nhttp://\u0416\uD83D\uDE00.example/*\r\n' \
    click 1 expect-box 错误 'javascript文件的编码无法表示这一行中的字符，文件未作修改：\r\nhttp://\u0416\uD83D\uDE00.example/*' \
    press-ok expect-edit 1000 'http://a.example.org/*\r\nhttp://\u0416\uD83D\uDE00.example/*\r\n' \
    set-edit 1000 'a\r\n   \r\nb\r\n' click 1 expect-box 成功 '写入javascript文件成功。' press-ok \
    set-edit 1000 'a\r\n   \r\nb\r\nc' click 1 expect-box 成功 '写入javascript文件成功。' press-ok \
    click-wait 1003 expect-edit 1000 'a\r\nb\r\nc\r\n' click 2 expect-exit 0
{ crlf_lines '// ==UserScript==' '//@include a' '//@include b' '//@include c' '// ==/UserScript=='
  printf 'var s = "\xE9";\r\n'; } >"$dir/expected"
same_bytes "$script" "$dir/expected"

# A save whose first bytes would read as a byte-order mark (the include block goes, and the line
# after it begins with FF FE) is refused with the reason, and the file stays as it was.
printf '//@include c\r\n\xFF\xFEx\r\n' >"$script"
cp "$script" "$dir/expected"
mark_first=$(printf '%s' '保存后javascript文件的开头会被当作字节顺序标记（BOM），下次将无法按原编码读取，文件未作修改。请保留第一个模式块，或先删去文件中随后一行开头的这些字符。')
drive start "$exe_win" '' \
    expect-edit 1000 'c\r\n' set-edit 1000 '' click 1 expect-box 错误 "$mark_first" press-ok \
    click 2 expect-box Morvanti '列表已修改，是否先保存？' press 7 expect-exit 0
same_bytes "$script" "$dir/expected"

# --- U+2028 and U+2029 end a JavaScript comment as CR and LF do. An address holding one is
# refused by the quick add, which then opens the dialog; in a box each is a line break, so what
# follows it becomes a pattern line of its own and never code of the script.
new_case line-separators
cp "$script" "$dir/expected"
drive start-escaped "$exe_win" 'http://a.example/\u2028alert(document.cookie)//' \
    expect-box Morvanti '添加http://a.example/\u2028alert(document.cookie)//失败。' press-ok \
    wait-dialog click 2 expect-exit 0
same_bytes "$script" "$dir/expected"
drive start "$exe_win" '' \
    set-edit 1000 'http://a.example.org/*\u2028alert(1)//\r\nhttp://c.example.org/\u2029  \u2029d' \
    click 1 expect-box 成功 '写入javascript文件成功。' press-ok click 2 expect-exit 0
crlf_lines '// ==UserScript==' '//@include http://a.example.org/*' '//@include alert(1)//' \
    '//@include http://c.example.org/' '//@include d' '//@exclude http://b.example.org/*' '// ==/UserScript==' '' \
    "${script_lines[5]}" >"$dir/expected"
same_bytes "$script" "$dir/expected"

# --- Under code pages 1252 and 936, a script whose last line holds 中文 in code-page-936 bytes.
# Edited lists are not thrown away by one slip: with an edit, Esc in the include box (which has
# the focus at start), WM_CLOSE, 关闭, SC_CLOSE (the close box and the system menu) and Alt+F4 ask;
# 取消 keeps the edit, 否 ends unsaved, 是 saves and ends unless the save fails. Without an edit
# Esc ends at once, leaving a hand-written settings file that names the script as it was.
gbk_line='var s = "\xD6\xD0\xCE\xC4";'
asked=(expect-box Morvanti '列表已修改，是否先保存？')
typed='http://a.example.org/*\r\nhttp://typed.example.org/*\r\n'
typed_script() {
    crlf_lines '// ==UserScript==' '//@include http://a.example.org/*' '//@include http://typed.example.org/*' \
        '//@exclude http://b.example.org/*' '// ==/UserScript==' '' "${script_lines[5]}"
    printf "$gbk_line\\r\\n"
}
for cp in 1252:en_US.UTF-8 936:zh_CN.UTF-8; do
    export LC_ALL=${cp#*:}
    new_case "close-asks-${cp%%:*}"
    printf "$gbk_line\\r\\n" >>"$script"
    printf '; by hand\r\n[AutoRenderInIE]\r\nScriptPath=%s\r\nKeep=1\r\n' "$script_win" >"$dir/autorender_in_ie.ini"
    cp "$script" "$dir/script.before"
    cp "$dir/autorender_in_ie.ini" "$dir/settings.before"
    drive start "$exe_win" '' wait-dialog type-key '#27' expect-exit 0
    drive start "$exe_win" '' wait-dialog set-edit 1000 "$typed" type-key '#27' "${asked[@]}" press 2 \
        post 16 0 "${asked[@]}" press 2 click 2 "${asked[@]}" press 2 expect-edit 1000 "$typed" \
        post 274 61536 "${asked[@]}" press 7 expect-exit 0
    same_bytes "$script" "$dir/script.before"
    drive start "$exe_win" '' wait-dialog set-edit 1000 "$typed" set-edit 1002 '' alt-key '#115' "${asked[@]}" \
        press 6 expect-box 错误 'javascript文件不能指定为空。' press-ok set-edit 1002 "${script_win//\\/\\\\}" \
        alt-key '#115' "${asked[@]}" press 6 expect-exit 0
    typed_script >"$dir/expected"
    same_bytes "$script" "$dir/expected"
    same_bytes "$dir/autorender_in_ie.ini" "$dir/settings.before"

    # Save into another script, with lists of its own, asks, naming both: 否 writes nothing.
    new_case "save-other-asks-${cp%%:*}"
    other="$dir/other.js"
    { crlf_lines '//@include http://o.example.org/*'; printf "$gbk_line\\r\\n"; } >"$other"
    cp "$other" "$dir/other.before"
    other_win=$(winpath "$other")
    drive start "$exe_win" '' wait-dialog set-edit 1002 "${other_win//\\/\\\\}" click 1 expect-box Morvanti \
        "保存将用列表替换这个javascript文件中已有的网址：\\r\\n${other_win//\\/\\\\}\\r\\n列表读取自：\\r\\n${script_win//\\/\\\\}\\r\\n是否保存？" \
        press 7 expect-quiet 1000 click 2 expect-exit 0
    same_bytes "$other" "$dir/other.before"

    # A Save that waits for its turn (another program holds the lock) keeps the window answering
    # within a second, and ignores a second Save and a Close meanwhile: one save, one box.
    new_case "save-waits-${cp%%:*}"
    printf "$gbk_line\\r\\n" >>"$script"
    drive start "$exe_win" '' wait-dialog lock-file "$(winpath "$dir/Morvanti.lock")" set-edit 1000 "$typed" \
        click 1 timeout 1000 expect-edit 1000 "$typed" click 1 post 274 61536 timeout 15000 expect-quiet 1500 \
        unlock-file expect-box 成功 '写入javascript文件成功。' press-ok expect-quiet 2000 click 2 expect-exit 0
    typed_script >"$dir/expected"
    same_bytes "$script" "$dir/expected"
done
export LC_ALL=en_US.UTF-8

if [ "$failures" -ne 0 ]; then
    echo "e2e: $failures failure(s)"
    exit 1
fi
echo "e2e: all cases passed"
