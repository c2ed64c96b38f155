#!/usr/bin/env bash
# Builds the release package dist/morvanti-VERSION.zip: morvanti.exe, README.txt and LICENSE.txt.
#
#   tools/release.sh                set up, build morvanti.exe in build/release, package it
#   tools/release.sh --exe FILE     package a morvanti.exe built already (CI builds only once)
#   tools/release.sh --out DIR      write the zip into DIR instead of dist/
#   tools/release.sh --build DIR    build in DIR instead of build/release
#
# MORVANTI_EXE and MORVANTI_DIST do the same as --exe and --out.
#
# VERSION is the FILEVERSION of the VERSIONINFO block in res/*.rc, the one the program's About
# box shows; fallback_version below is used only while no resource script has such a block.
# README.txt is docs/README.txt with @VERSION@ filled in, as UTF-8 with a byte-order mark and CR LF
# line ends, so that Notepad on any Windows shows its Chinese and its lines; LICENSE.txt is the root
# LICENSE with CR LF line ends.
# The zip holds no time stamps, owners or extra fields of the build machine: the same inputs give
# the same bytes.
set -euo pipefail
caller=$PWD
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# Byte-wise text tools: the sources hold UTF-8 that sed must not reinterpret.
export LC_ALL=C

fallback_version=1.0.4.0
# Every member's date and time in the zip.
fixed_time=202601010000.00

die() { echo "release: $*" >&2; exit 1; }

exe=${MORVANTI_EXE:-}
out=${MORVANTI_DIST:-$root/dist}
build=$root/build/release
while [ $# -gt 0 ]; do
    case $1 in
        --exe) exe=${2:?--exe needs a file}; shift 2 ;;
        --out) out=${2:?--out needs a folder}; shift 2 ;;
        --build) build=${2:?--build needs a folder}; shift 2 ;;
        -h|--help) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) die "unknown argument: $1 (see --help)" ;;
    esac
done
# Paths given by the caller are meant from where it stands.
absolute() { case $1 in /*) echo "$1" ;; *) echo "$caller/$1" ;; esac; }
[ -z "$exe" ] || exe=$(absolute "$exe")
out=$(absolute "$out")
build=$(absolute "$build")

# The FILEVERSION of a resource script (read from standard input) as dotted text.
first_file_version() {
    sed -n 's|//.*||; /^[[:space:]]*FILEVERSION[[:space:]]/{s/^[[:space:]]*FILEVERSION//; s/[[:space:]]//g; y/,/./; p; q;}'
}

# The FILEVERSION of the resource scripts' VERSIONINFO block, or nothing when no script has one.
# Two blocks that disagree, or a FILEVERSION that is not four numbers, stop here.
rc_version() {
    local found= rc v
    for rc in res/*.rc; do
        [ -f "$rc" ] || continue
        grep -q '^[^/]*\bVERSIONINFO\b' "$rc" || continue
        v=$(first_file_version <"$rc")
        echo "$v" | grep -Eqx '[0-9]{1,5}(\.[0-9]{1,5}){3}' \
            || die "$rc: VERSIONINFO without a FILEVERSION of four numbers (found '$v')"
        [ -z "$found" ] || [ "$found" = "$v" ] || die "resource scripts disagree on the version: $found and $v"
        found=$v
    done
    echo "$found"
}

version=$(rc_version)
version_from_rc=1
if [ -z "$version" ]; then
    echo "release: no VERSIONINFO in res/*.rc; using version $fallback_version" >&2
    version=$fallback_version
    version_from_rc=0
fi

if [ -z "$exe" ]; then
    # What the set-up and the build say goes to standard error: standard output is the zip's name.
    bash tools/setup.sh >&2
    source tools/build.sh
    morvanti_build --dir "$build" release "the 32-bit morvanti.exe" "about a minute" morvanti >&2
    exe="$build/app/morvanti.exe"
fi
[ -f "$exe" ] || die "no such file: $exe"

# A 32-bit Windows executable: "MZ", then at the offset in 0x3C the "PE\0\0" signature and the
# machine type 0x014C (i386). Catches a wrong file handed over by mistake.
pe_offset=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
[ "$(head -c2 "$exe")" = MZ ] && [ -n "$pe_offset" ] \
    && [ "$(od -An -tx1 -j"$pe_offset" -N6 "$exe" | tr -d ' \n')" = 504500004c01 ] \
    || die "$exe is not a 32-bit Windows executable"

# The version block compiled into the executable must be the one the package is named after: an
# executable left over from an older build would otherwise ship under the new name.
windres=i686-w64-mingw32-windres
if [ "$version_from_rc" = 1 ]; then
    command -v "$windres" >/dev/null 2>&1 || die "$windres is missing (run tools/setup.sh)"
    exe_resources=$("$windres" -J coff -O rc -i "$exe" 2>/dev/null) || exe_resources=
    exe_version=$(first_file_version <<<"$exe_resources")
    [ "$exe_version" = "$version" ] \
        || die "$exe carries version '${exe_version:-none}', the resource script $version: rebuild it"
fi

for tool in zip iconv; do
    command -v "$tool" >/dev/null 2>&1 || die "$tool is missing (run tools/setup.sh)"
done

stage=$(mktemp -d /tmp/morvanti-release.XXXXXX)
trap 'rm -rf "$stage"' EXIT

# Text for Notepad: UTF-8 with a byte-order mark, CR LF line ends, a line end at the end. A source
# that already carries either is not doubled; text that is not UTF-8 is refused.
windows_text() { # SOURCE TARGET
    iconv -f UTF-8 -t UTF-8 "$1" >/dev/null 2>&1 || die "$1 is not UTF-8 text"
    { printf '\357\273\277'; sed '1s/^\xEF\xBB\xBF//; s/\r$//; s/$/\r/' "$1"; } >"$2"
}

cp "$exe" "$stage/morvanti.exe"
sed "s/@VERSION@/$version/g" docs/README.txt >"$stage/README.src"
windows_text "$stage/README.src" "$stage/README.txt"
rm "$stage/README.src"
# The license as plain text with CR LF, without a byte-order mark: the same words as LICENSE.
sed 's/\r$//; s/$/\r/' LICENSE >"$stage/LICENSE.txt"

members=(LICENSE.txt README.txt morvanti.exe)
chmod 0644 "${members[@]/#/$stage/}"
TZ=UTC touch -t "$fixed_time" "${members[@]/#/$stage/}"

mkdir -p "$out"
zip_name="morvanti-$version.zip"
rm -f "$stage/$zip_name"
(cd "$stage" && TZ=UTC zip -q -X -D -9 "$zip_name" "${members[@]}")
mv -f "$stage/$zip_name" "$out/$zip_name"
echo "$out/$zip_name"
