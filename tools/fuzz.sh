#!/usr/bin/env bash
# Fuzzes the program's readers and writers of a user's bytes (tests/fuzz/) under AddressSanitizer
# and UndefinedBehaviorSanitizer, building them first (build/fuzz; the build's output goes to
# build/fuzz/build.log).
#
#   tools/fuzz.sh TARGET [SECONDS]     fuzzes TARGET for SECONDS (default 600) from its seed corpus;
#                                      new inputs go to build/fuzz/corpus/TARGET
#   tools/fuzz.sh --replay TARGET FILE...  runs TARGET once on each input, as the test step does
#   tools/fuzz.sh --check [SECONDS]    the test step: replays every seed and every input that once
#                                      failed (tests/fuzz/regressions), then fuzzes each target for
#                                      SECONDS (default 60), two at a time
#   tools/fuzz.sh --coverage           line coverage of each target's program sources from its
#                                      corpus (build/fuzz-coverage; needs llvm-profdata, llvm-cov)
#
# Targets: profile, script, patterns, textstream, helpers. A failure prints the input's path and
# the target's report, keeps the input in build/fuzz/findings/ and makes the exit status 1.
# 32-bit (-m32, the shipped program's size arithmetic) where the kernel runs 32-bit programs and
# lib32stdc++-12-dev and libc6-dev-i386 are installed; otherwise x86-64. The build says which.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source tools/host-arch.sh

targets=(profile script patterns textstream helpers)
fuzz_dir=tests/fuzz
say() { echo "fuzz: $*"; }
die() { echo "fuzz: $*" >&2; exit 2; }

installed() { [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]; }

# build DIR [CMAKE-OPTION...]: configures and builds the targets in DIR.
build() {
    local dir=$1 m32=OFF
    shift
    if morvanti_kernel_runs_i386 && installed lib32stdc++-12-dev && installed libc6-dev-i386; then m32=ON; fi
    mkdir -p "$dir"
    if [ "$m32" = ON ]; then
        say "building the targets 32-bit (-m32) in $dir (output: $dir/build.log)"
    else
        say "building the targets for x86-64 in $dir: this kernel runs no 32-bit programs or the i386" \
            "libraries are missing (output: $dir/build.log)"
    fi
    if ! { cmake -S "$fuzz_dir" -B "$dir" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
               -DMORVANTI_FUZZ_M32="$m32" "$@" && cmake --build "$dir" --parallel 2; } >"$dir/build.log" 2>&1; then
        tail -n 30 "$dir/build.log" >&2
        die "building the fuzz targets failed (output: $dir/build.log)"
    fi
    # 16-bit text must never reach code built for 32-bit wchar_t: no member of std::wstring and
    # no wide function of the C library may come from libstdc++ or glibc.
    local target wide
    for target in "${targets[@]}"; do
        wide=$(nm -C --undefined-only "$dir/fuzz_$target" | grep -E 'basic_string<wchar_t|[^_a-z](wcs|wmem)[a-z]*(@|$)' || true)
        [ -z "$wide" ] || die "fuzz_$target takes wide-text code from a library built for 32-bit wchar_t: $wide"
    done
}

known() { local t; for t in "${targets[@]}"; do [ "$t" = "$1" ] && return 0; done; die "no target $1 (${targets[*]})"; }

# replay TARGET FILE...: runs the target once on each file; on a failure prints its path and the
# report and returns 1.
replay() {
    local target=$1 log
    shift
    [ "$#" -gt 0 ] || return 0
    log=$(mktemp)
    if ! "build/fuzz/fuzz_$target" -runs=0 "$@" >"$log" 2>&1; then
        local input
        input=$(grep '^Running: ' "$log" | tail -n 1 | cut -d' ' -f2-)
        echo "fuzz: FAILED: $target on $input" >&2
        cat "$log" >&2
        rm -f "$log"
        return 1
    fi
    rm -f "$log"
}

# fuzz TARGET SECONDS: fuzzes from the seeds and the inputs found before; returns 1 on a finding.
fuzz() {
    local target=$1 seconds=$2 corpus=build/fuzz/corpus/$1 findings=build/fuzz/findings log=build/fuzz/$1.log
    mkdir -p "$corpus" "$findings"
    # The first folder takes what is found; the seeds in the work tree are only read.
    if nice -n 10 "build/fuzz/fuzz_$target" "$corpus" "$fuzz_dir/corpus/$target" -dict="$fuzz_dir/morvanti.dict" \
        -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$findings/$target-" >"$log" 2>&1; then
        say "$target: $(grep -o 'number_of_executed_units: [0-9]*' "$log" | cut -d' ' -f2) inputs in ${seconds} s, none failed"
        return 0
    fi
    local input
    input=$(grep -o 'Test unit written to .*' "$log" | tail -n 1 | cut -d' ' -f5-)
    echo "fuzz: FAILED: $target found an input that fails: ${input:-see $log}" >&2
    tail -n 60 "$log" >&2
    echo "fuzz: replay it with: tools/fuzz.sh --replay $target $input" >&2
    return 1
}

files_of() { [ -d "$1" ] && find "$1" -type f | sort; return 0; }

case ${1:-} in
    --replay)
        [ "$#" -ge 3 ] || die "usage: tools/fuzz.sh --replay TARGET FILE..."
        known "$2"
        build build/fuzz
        replay "$2" "${@:3}" && say "$2: every input passed"
        ;;
    --check)
        seconds=${2:-60}
        build build/fuzz
        failed=0
        for target in "${targets[@]}"; do
            mapfile -t inputs < <(files_of "$fuzz_dir/corpus/$target"; files_of "$fuzz_dir/regressions/$target")
            if replay "$target" "${inputs[@]}"; then
                say "$target: the ${#inputs[@]} seeds and regression inputs pass"
            else
                failed=1
            fi
        done
        say "fuzzing each target for $seconds s, two at a time"
        pids=()
        results=$(mktemp -d)
        for target in "${targets[@]}"; do
            (fuzz "$target" "$seconds" >"$results/$target" 2>&1 || touch "$results/$target.failed") &
            pids+=($!)
            if [ "${#pids[@]}" -ge 2 ]; then wait "${pids[0]}"; pids=("${pids[@]:1}"); fi
        done
        wait
        for target in "${targets[@]}"; do
            cat "$results/$target"
            [ ! -e "$results/$target.failed" ] || failed=1
        done
        rm -rf "$results"
        [ "$failed" -eq 0 ] || { echo "fuzz: the fuzz step failed" >&2; exit 1; }
        say "every target passed"
        ;;
    --coverage)
        command -v llvm-profdata >/dev/null && command -v llvm-cov >/dev/null || die "llvm-profdata and llvm-cov are needed (package llvm)"
        dir=build/fuzz-coverage
        build "$dir" -DMORVANTI_FUZZ_COVERAGE=ON
        for target in "${targets[@]}"; do
            rm -f "$dir/$target".prof*
            mapfile -t inputs < <(files_of "$fuzz_dir/corpus/$target"; files_of "$fuzz_dir/regressions/$target"; files_of "build/fuzz/corpus/$target")
            LLVM_PROFILE_FILE="$dir/$target.profraw" "$dir/fuzz_$target" -runs=0 "${inputs[@]}" >/dev/null 2>&1 || true
            llvm-profdata merge -o "$dir/$target.profdata" "$dir/$target.profraw"
            echo "== $target (${#inputs[@]} inputs): line coverage of the program's sources"
            llvm-cov report "$dir/fuzz_$target" -instr-profile="$dir/$target.profdata" \
                -ignore-filename-regex='tests/|/usr/' \
                | awk 'NR == 1 { print "file lines missed cover" } /\.cpp / && $9 < $8 { print $1, $8, $9, $10 }' | column -t
        done
        ;;
    ""|-*)
        die "usage: tools/fuzz.sh TARGET [SECONDS] | --replay TARGET FILE... | --check [SECONDS] | --coverage"
        ;;
    *)
        known "$1"
        build build/fuzz
        fuzz "$1" "${2:-600}"
        ;;
esac
