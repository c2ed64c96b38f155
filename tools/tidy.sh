#!/usr/bin/env bash
# Runs clang-tidy (checks in .clang-tidy) over the program's own sources, each compiled as the
# build compiles it and for the build's target (MinGW-w64), two files at a time.
#   tools/tidy.sh [build folder]      (default build/mingw; it must be configured)
# Fails on any finding, on any source that does not compile for clang, and when a source of
# the program's folders is missing from the build's compile commands.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

build=${1:-build/mingw}
jobs=2
folders=(app browser profile script support textio)
db="$build/compile_commands.json"
fail() { echo "tidy: $*" >&2; exit 1; }

command -v clang-tidy >/dev/null 2>&1 || fail "clang-tidy is missing (tools/setup.sh installs it)"
[ -f "$db" ] || fail "$db is missing: configure $build with a cmake/mingw-*.cmake toolchain first"

# The program's sources as the build compiles them, and the build's compiler.
mapfile -t listed < <(python3 - "$db" "$root" "${folders[@]}" <<'EOF'
import json, os, shlex, sys
db, root, folders = sys.argv[1], sys.argv[2], sys.argv[3:]
entries = json.load(open(db))
args = entries[0].get("arguments") or shlex.split(entries[0]["command"])
print(args[0])
prefixes = tuple(os.path.join(root, f) + os.sep for f in folders)
files = set()
for e in entries:
    path = os.path.normpath(os.path.join(e["directory"], e["file"]))
    if path.startswith(prefixes):
        files.add(path)
for f in sorted(files):
    print(f)
EOF
)
compiler=${listed[0]}
files=("${listed[@]:1}")

# Every source file of those folders must be among them: one that is not built is not analysed.
declare -A in_db=()
for src in "${files[@]}"; do in_db[$src]=1; done
missing=0
while IFS= read -r src; do
    [ -n "${in_db[$src]:-}" ] || { echo "tidy: ${src#"$root"/} is not in $db" >&2; missing=1; }
done < <(for f in "${folders[@]}"; do find "$root/$f" -name '*.cpp'; done | sort)
[ "$missing" -eq 0 ] || fail "sources missing from the compile commands"
[ "${#files[@]}" -gt 0 ] || fail "no sources found in $db"

# clang's MinGW driver does not find Debian's MinGW libstdc++ (its version folder is "12-posix",
# which clang 14 does not read as a GCC version) and would take the host's /usr/include instead.
# So the system folders are dropped and the cross compiler's own ones given: its C++ library
# folders before clang's built-in headers, the MinGW-w64 headers after them, as GCC orders them.
# GCC's private folders (intrinsics, fixed headers) are left to clang's own.
target=$("$compiler" -dumpmachine)
gcc_dir=$(dirname "$("$compiler" -print-libgcc-file-name)")
extra=(--extra-arg=--target="$target" --extra-arg=-nostdlibinc)
n_cxx=0
n_sys=0
while IFS= read -r dir; do
    dir=$(realpath -m "$dir")
    case "$dir" in
        "$gcc_dir/include" | "$gcc_dir/include-fixed") ;;
        */include/c++*) extra+=("--extra-arg=-isystem$dir"); n_cxx=$((n_cxx + 1)) ;;
        *) extra+=("--extra-arg=-idirafter$dir"); n_sys=$((n_sys + 1)) ;;
    esac
done < <("$compiler" -x c++ -E -v - </dev/null 2>&1 \
    | sed -n '/^#include <\.\.\.> search starts here:/,/^End of search list\./{//!s/^ *//p}')
[ "$n_cxx" -gt 0 ] && [ "$n_sys" -gt 0 ] || fail "could not read the include folders of $compiler"

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

# One log and one exit status per source; a warning counts as an error. xargs appends each
# source and the stem of its log after the fixed arguments.
log_stem() { local rel=${1#"$root"/}; echo "$logs/${rel//\//_}"; }
echo "tidy: analysing ${#files[@]} sources with clang-tidy, $jobs at a time (about 2 minutes)"
start=$SECONDS
for src in "${files[@]}"; do printf '%s\0%s\0' "$src" "$(log_stem "$src")"; done \
    | xargs -0 -n2 -P "$jobs" bash -c '
        src=${*: -2:1}; log=${*: -1}
        status=0
        clang-tidy --quiet --warnings-as-errors="*" "${@:1:$#-2}" "$src" >"$log.log" 2>&1 || status=$?
        echo "$status" >"$log.rc"' tidy-one -p "$build" "${extra[@]}" \
    || true

bad=0
for src in "${files[@]}"; do
    log=$(log_stem "$src")
    if [ ! -f "$log.rc" ]; then
        echo "tidy: ${src#"$root"/}: not analysed" >&2; bad=$((bad + 1)); continue
    fi
    if [ "$(cat "$log.rc")" != 0 ] || grep -qE ': (warning|error):' "$log.log"; then
        grep -vE '^[0-9]+ (warnings?|errors?) generated\.$|^Suppressed [0-9]+ warnings' "$log.log" >&2 || true
        echo "tidy: ${src#"$root"/}: findings or errors" >&2
        bad=$((bad + 1))
    fi
done
echo "tidy: ${#files[@]} sources analysed in $((SECONDS - start)) s, $bad with findings or errors"
[ "$bad" -eq 0 ]
