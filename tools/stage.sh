# Sourced by the scripts in tools/: a long step says what it does before it starts, its tools'
# own output (apt, CMake, Wine) goes to a log file under build/, and when it fails the end of that
# log is shown.
#   morvanti_logged LOG COMMAND...   runs COMMAND, appending the command and its output to LOG;
#                                    its status
#   morvanti_log_end LOG [LINES]     the last LINES (40) lines of LOG, indented, on standard error
#   morvanti_shown PATH              PATH relative to the work tree when it lies inside it

morvanti_stage_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

morvanti_logged() {
    local log=$1
    shift
    mkdir -p "$(dirname "$log")"
    echo "\$ $*" >>"$log"
    "$@" >>"$log" 2>&1 </dev/null
}

morvanti_log_end() {
    [ -s "$1" ] || return 0
    echo "  ... last lines of $(morvanti_shown "$1"):" >&2
    tail -n "${2:-40}" "$1" | sed 's/^/  | /' >&2
}

morvanti_shown() {
    case $1 in
        "$morvanti_stage_root"/*) echo "${1#"$morvanti_stage_root"/}" ;;
        *) echo "$1" ;;
    esac
}
