#!/usr/bin/env bash
# Checks the release package that tools/release.sh makes from a built morvanti.exe: its name and
# version, its members, their bytes and text form, and that the same inputs give the same zip.
# Also checks that the script refuses what must not be shipped.
#
#   check_release.sh SOURCE_DIR MORVANTI_EXE WORK_DIR PROJECT_VERSION
set -uo pipefail
src=${1:?usage: check_release.sh SOURCE_DIR MORVANTI_EXE WORK_DIR PROJECT_VERSION}
exe=${2:?}
work=${3:?}
project_version=${4:?}
export LC_ALL=C

failures=0
checks=0
current=
fail() { echo "FAILED [$current]: $*"; failures=$((failures + 1)); }
check() { checks=$((checks + 1)); current=$1; }

rm -rf "$work"
mkdir -p "$work"

# The version as the About box will show it, read here on its own: the FILEVERSION numbers of
# the VERSIONINFO block in the resource scripts, else the project's version.
expected=$(awk '/^[^\/]*VERSIONINFO/ { inblock = 1 }
                inblock && $1 == "FILEVERSION" { $1 = ""; gsub(/[ \t\r]/, ""); gsub(/,/, "."); print; exit }' \
           "$src"/res/*.rc)
[ -n "$expected" ] || expected=$project_version
echo "version: $expected"

# --- The package of the built program.
check package
out="$work/dist"
log=$(bash "$src/tools/release.sh" --exe "$exe" --out "$out" 2>&1) || fail "release.sh failed: $log"
zip="$out/morvanti-$expected.zip"
listing=$(ls "$out" 2>/dev/null | tr '\n' ' ')
[ "$listing" = "morvanti-$expected.zip " ] || fail "dist holds '$listing', expected morvanti-$expected.zip"
[ "$expected" = "$project_version" ] \
    || fail "the resource version $expected is not the project's version $project_version (CMakeLists.txt)"
if [ ! -f "$zip" ]; then
    echo "release_zip: no package to check"
    exit 1
fi

check members
members=$(unzip -Z1 "$zip" | tr '\n' ' ')
[ "$members" = "LICENSE.txt README.txt morvanti.exe " ] || fail "members are '$members'"
unzip -tq "$zip" >/dev/null || fail "the zip does not test clean"

check executable
unzip -p "$zip" morvanti.exe | cmp -s - "$exe" || fail "morvanti.exe differs from the built one"

check readme
readme="$work/README.txt"
unzip -p "$zip" README.txt >"$readme"
[ "$(head -c3 "$readme" | od -An -tx1 | tr -d ' \n')" = efbbbf ] || fail "no UTF-8 byte-order mark"
tail -c +4 "$readme" | iconv -f UTF-8 -t UTF-16LE >/dev/null 2>&1 || fail "not valid UTF-8"
# Every line feed follows a carriage return, every carriage return comes before a line feed, and
# the text ends with a line end.
lf=$(tr -cd '\n' <"$readme" | wc -c)
cr=$(tr -cd '\r' <"$readme" | wc -c)
crlf=$(grep -c $'\r$' "$readme")
[ "$lf" -gt 10 ] && [ "$lf" -eq "$cr" ] && [ "$crlf" -eq "$lf" ] \
    || fail "line ends are not all CR LF ($lf LF, $cr CR, $crlf CR LF)"
[ "$(tail -c2 "$readme" | od -An -tx1 | tr -d ' \n')" = 0d0a ] || fail "does not end with CR LF"
grep -q "@VERSION@" "$readme" && fail "version placeholder left in"
head -1 "$readme" | grep -q "Morvanti $expected" || fail "first line does not name version $expected"
# Both languages, each with the facts a user needs: the two modes and where the script is found.
for text in '== 中文 ==' '对话框模式' '快速添加模式' '设置文件' \
            '== English ==' 'Dialog mode' 'Quick-add mode' 'settings file' \
            'morvanti.exe <' 'autorender_in_ie.ini' '[AutoRenderInIE]' 'ScriptPath=' '%APPDATA%' \
            'Autorender in IE.js' 'opera6.ini'; do
    grep -qF "$text" "$readme" || fail "no '$text'"
done
chinese=$(sed -n '/== 中文 ==/,/== English ==/p' "$readme" | grep -c '%APPDATA%')
english=$(sed -n '/== English ==/,$p' "$readme" | grep -c '%APPDATA%')
[ "$chinese" -ge 1 ] && [ "$english" -ge 1 ] || fail "a language section does not say where settings live"

check license
license="$work/LICENSE.txt"
unzip -p "$zip" LICENSE.txt >"$license"
tr -d '\r' <"$license" | cmp -s - "$src/LICENSE" || fail "LICENSE.txt is not the text of LICENSE"
[ "$(grep -c $'\r$' "$license")" -eq "$(wc -l <"$license")" ] || fail "LICENSE.txt lines are not CR LF"
grep -q '^MIT License' "$src/LICENSE" || fail "LICENSE is not the MIT license"
grep -q '^Copyright (c) 2026 The Morvanti developers$' "$src/LICENSE" || fail "LICENSE copyright line"

check deterministic
# Fixed member dates, no extra fields (owners, Unix times), and the same bytes on a second run.
dates=$(unzip -Z -T "$zip" | awk '$NF ~ /^(LICENSE|README)\.txt$|^morvanti\.exe$/ { print $(NF-1) }' \
        | sort -u | tr '\n' ' ')
[ "$dates" = "20260101.000000 " ] || fail "member dates are '$dates'"
extra=$(unzip -Zv "$zip" | grep -c 'length of extra field: *[1-9]')
[ "$extra" -eq 0 ] || fail "$extra member(s) carry extra fields"
# A second later: a script that let the copies' own times through would now give other bytes.
sleep 1
bash "$src/tools/release.sh" --exe "$exe" --out "$work/again" >/dev/null 2>&1 || fail "second run failed"
cmp -s "$zip" "$work/again/morvanti-$expected.zip" || fail "a second run gives other bytes"

# --- What must not be shipped: a copy of the tree with a changed resource script or a wrong file.
tree() { # NAME: a minimal copy of what release.sh reads, in $work/NAME
    local t="$work/$1"
    mkdir -p "$t/tools" "$t/res" "$t/docs"
    cp "$src/tools/release.sh" "$t/tools/"
    cp "$src"/res/*.rc "$t/res/"
    cp "$src/LICENSE" "$t/"
    cp "$src/docs/README.txt" "$t/docs/"
    echo "$t"
}
refused() { # TREE EXE WHAT
    local t=$1
    if bash "$t/tools/release.sh" --exe "$2" --out "$t/dist" >"$t/log" 2>&1; then
        fail "packaged $3"
    fi
    [ -z "$(ls "$t/dist" 2>/dev/null)" ] || fail "left a package behind for $3"
    grep -q '^release: ' "$t/log" || fail "no reason given for refusing $3"
}

check stale-exe
t=$(tree stale-exe)
sed -i 's/^\([[:space:]]*FILEVERSION[[:space:]]\{1,\}\).*/\19,8,7,6/' "$t"/res/*.rc
grep -q 'FILEVERSION[[:space:]]*9,8,7,6' "$t"/res/*.rc || fail "could not change the test tree's version"
refused "$t" "$exe" "an executable whose version is not the resource script's"

check bad-version
t=$(tree bad-version)
sed -i 's/^\([[:space:]]*FILEVERSION[[:space:]]\{1,\}\).*/\11,0,4/' "$t"/res/*.rc
refused "$t" "$exe" "a FILEVERSION of three numbers"

check not-an-exe
t=$(tree not-an-exe)
refused "$t" "$src/LICENSE" "a text file as morvanti.exe"
refused "$t" "$work/missing.exe" "a missing executable"

check no-versioninfo
t=$(tree no-versioninfo)
for rc in "$t"/res/*.rc; do
    awk '/^[^\/]*VERSIONINFO/ { skip = 1 } !skip { print } skip && /^END/ { skip = 0 }' "$rc" >"$rc.new"
    mv "$rc.new" "$rc"
done
grep -q VERSIONINFO "$t"/res/*.rc && fail "could not remove the test tree's version block"
bash "$t/tools/release.sh" --exe "$exe" --out "$t/dist" >"$t/log" 2>&1 || fail "failed: $(cat "$t/log")"
[ -f "$t/dist/morvanti-$project_version.zip" ] || fail "no morvanti-$project_version.zip: $(ls "$t/dist" 2>&1)"

if [ "$failures" -ne 0 ]; then
    echo "release_zip: $failures failure(s)"
    exit 1
fi
echo "release_zip: all $checks groups passed"
