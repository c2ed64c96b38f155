# Sourced by the scripts in tools/: which build of the program this host can run under Wine.
# Morvanti is a 32-bit Windows program, run here under 32-bit Wine. That is a 32-bit Linux
# program: it runs only where the kernel runs 32-bit programs (a kernel built or booted without
# that support refuses them with "Exec format error") and where the i386 package wine32:i386 is
# installed, which a package mirror out of step with the amd64 packages can prevent. Without
# either, the same sources are built for x86-64 and run under Wine's 64-bit loader instead
# (tools/wine64/); the 32-bit program is still built, checked as a file and shipped.
#   MORVANTI_RUN_ARCH       i686 or x86_64: the build that runs under Wine here
#   morvanti_run_preset P   the CMake preset P for that build: P itself, or P64 (CMakePresets.json)
# MORVANTI_KERNEL_RUNS_I386=0 (or 1) skips the kernel probe and takes its answer as given.

# True when the kernel runs 32-bit x86 programs. The probe is the smallest such program, needing
# no i386 library: a 96-byte static ELF whose code is exit(42) through int 0x80.
morvanti_kernel_runs_i386() {
    case ${MORVANTI_KERNEL_RUNS_I386:-} in
        1) return 0 ;;
        0) return 1 ;;
    esac
    local dir probe status=0
    dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build"
    mkdir -p "$dir" && probe=$(mktemp "$dir/i386-probe.XXXXXX") || return 1
    # ELF header (32-bit, little-endian, executable, i386, entry 0x08048054, one program header),
    # one loadable read-execute segment of the whole file at 0x08048000, then the code:
    # mov eax,1 (exit); mov ebx,42; int 0x80.
    local hex='7f454c46 01010100 00000000 00000000 02000300 01000000 54800408 34000000
               00000000 00000000 34002000 01000000 00000000
               01000000 00000000 00800408 00800408 60000000 60000000 05000000 00100000
               b8010000 00bb2a00 0000cd80'
    # shellcheck disable=SC2059 # the format is the probe's bytes as \x escapes
    printf "$(tr -dc 0-9a-f <<<"$hex" | sed 's/../\\x&/g')" >"$probe" && chmod +x "$probe" \
        && { "$probe" 2>/dev/null || status=$?; }
    rm -f "$probe"
    [ "$status" -eq 42 ]
}

# True when the package manager has 32-bit Wine installed.
morvanti_have_wine32() {
    [ "$(dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null)" = "install ok installed" ]
}

# Sets MORVANTI_RUN_ARCH; tools/setup.sh decides again after installing.
morvanti_decide_arch() {
    if morvanti_kernel_runs_i386 && morvanti_have_wine32; then
        MORVANTI_RUN_ARCH=i686
    else
        MORVANTI_RUN_ARCH=x86_64
    fi
}

morvanti_run_preset() {
    if [ "$MORVANTI_RUN_ARCH" = i686 ]; then echo "$1"; else echo "${1}64"; fi
}

morvanti_decide_arch
