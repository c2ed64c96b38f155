# Sourced by the scripts in tools/: the one way they configure and build, on the presets of
# CMakePresets.json. A preset NAME builds the 32-bit program, NAME64 the same for x86-64
# (tools/host-arch.sh: morvanti_run_preset picks the one that runs under Wine here); each builds
# in build/NAME unless told otherwise.
#
#   morvanti_build [--dir DIR] PRESET WHAT ABOUT [TARGET...]
#
# configures PRESET in DIR (default build/PRESET) and builds TARGET... (default: everything) with
# two jobs. It first says what it builds (WHAT) and how long that usually takes the first time
# (ABOUT); CMake's and the compiler's output go to DIR/build.log, whose last lines are shown when
# the build fails.
source "$(dirname "${BASH_SOURCE[0]}")/stage.sh"

morvanti_build() {
    local dir=
    if [ "$1" = --dir ]; then dir=$2; shift 2; fi
    local preset=$1 what=$2 about=$3
    shift 3
    dir=${dir:-$morvanti_stage_root/build/$preset}
    local log=$dir/build.log targets=()
    [ "$#" -eq 0 ] || targets=(--target "$@")
    echo "build: building $what (preset $preset in $(morvanti_shown "$dir"); the first time $about;" \
        "output: $(morvanti_shown "$log"))"
    mkdir -p "$dir"
    : >"$log"
    if ! morvanti_logged "$log" cmake -S "$morvanti_stage_root" --preset "$preset" -B "$dir" \
        || ! morvanti_logged "$log" cmake --build "$dir" --parallel 2 "${targets[@]}"; then
        morvanti_log_end "$log"
        echo "build: building $what failed (output: $(morvanti_shown "$log"))" >&2
        return 1
    fi
}
