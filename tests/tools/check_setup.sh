#!/usr/bin/env bash
# Runs tools/setup.sh of a copy of the work tree against stand-ins for apt-get, dpkg, dpkg-query,
# locale, locale-gen, id and sleep placed first in PATH (no root, no network, no waiting), one
# row per machine state, and checks what it says, its exit status, what it asked apt for, its log,
# and the build tools/host-arch.sh chooses afterwards. The stand-ins answer as Debian 12's tools
# do: "apt-get update" exits 100 on an index file that does not match, "apt-get install" exits
# 100 with "Unable to locate package" or "held broken packages", "dpkg-query -W" exits 1 for a
# package that is not installed.
#
#   check_setup.sh SOURCE_DIR WORK_DIR
set -uo pipefail
src=${1:?usage: check_setup.sh SOURCE_DIR WORK_DIR}
work=${2:?}
export LC_ALL=C

failures=0
rm -rf "$work"
mkdir -p "$work/standins"
standins=$work/standins

# The stand-ins keep the machine's state in $STATE: installed (package names, or "*" for all but
# those in absent), archs (foreign architectures), update-fails (how many more updates fail),
# refused ("package=absent" or "package=held", "*" for every package), calls (every call).
standin() { printf '#!/usr/bin/env bash\necho "%s $*" >>"$STATE/calls"\n%s\n' "$1" "$2" >"$standins/$1"
            chmod +x "$standins/$1"; }
standin dpkg-query '
for p; do case $p in -*) ;; *) pkg=$p ;; esac; done
if grep -qxF "$pkg" "$STATE/installed" || { grep -qx "[*]" "$STATE/installed" && ! grep -qxF "$pkg" "$STATE/absent"; }
then printf "install ok installed"; else echo "dpkg-query: no packages found matching $pkg" >&2; exit 1; fi'
standin dpkg '
case $1 in
    --print-foreign-architectures) cat "$STATE/archs" ;;
    --add-architecture) echo "$2" >>"$STATE/archs" ;;
    *) exit 2 ;;
esac'
standin apt-get '
pkgs=()
while [ $# -gt 0 ]; do
    case $1 in -o) shift ;; -*) ;; update|install) cmd=$1 ;; *) pkgs+=("$1") ;; esac
    shift
done
echo "Reading package lists..."
if [ "$cmd" = update ]; then
    left=$(cat "$STATE/update-fails")
    [ "$left" -gt 0 ] || exit 0
    echo $((left - 1)) >"$STATE/update-fails"
    echo "Err:4 http://deb.debian.org/debian-security bookworm-security/main i386 Packages"
    echo "  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]"
    echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]" >&2
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
    exit 100
fi
echo "Building dependency tree..."
absent=() held=()
for p in "${pkgs[@]}"; do
    how=
    while IFS="=" read -r name h; do case $name in "$p"|"*") how=$h; break ;; esac; done <"$STATE/refused"
    case $p in *:i386) grep -qx i386 "$STATE/archs" || how=absent ;; esac
    case $how in absent) absent+=("$p") ;; held) held+=("$p") ;; esac
done
for p in "${absent[@]}"; do echo "E: Unable to locate package $p" >&2; done
[ "${#absent[@]}" -eq 0 ] || exit 100
if [ "${#held[@]}" -gt 0 ]; then
    echo "Some packages could not be installed. This may mean that you have"
    echo "requested an impossible situation or if you are using the unstable"
    echo "distribution that some required packages have not yet been created"
    echo "or been moved out of Incoming."
    echo "The following packages have unmet dependencies:"
    echo " zlib1g:i386 : Breaks: zlib1g (!= 1:1.2.13.dfsg-1) but 1:1.2.13.dfsg-1+deb12u1 is to be installed"
    echo "E: Unable to correct problems, you have held broken packages." >&2
    exit 100
fi
printf "%s\n" "${pkgs[@]}" >>"$STATE/installed"
printf "Setting up %s ...\n" "${pkgs[@]}"'
standin locale '[ "$1" = -a ] && printf "C\nC.utf8\nPOSIX\nen_US.utf8\nzh_CN.utf8\n"'
standin locale-gen 'exit 0'
standin id '[ "$1" = -u ] && echo 0'
standin sleep 'exit 0'
# The tools setup.sh looks for once the packages are in: found wherever their packages are.
for tool in i686-w64-mingw32-g++-posix i686-w64-mingw32-windres x86_64-w64-mingw32-g++-posix \
    cmake wine Xvfb zip unzip xwininfo clang-tidy; do
    standin "$tool" 'exit 0'
done

all="*"
# row NAME KERNEL_RUNS_I386 INSTALLED UPDATE_FAILS REFUSED STATUS ARCH EXPECTATION...
# INSTALLED: package names, "*" for all, "-NAME" for all but NAME, "@PATH" a file made in the tree
# beforehand. An expectation is "out: TEXT" (the output has a line with TEXT), "log: TEXT"
# (build/setup.log has), "call: LINE" (a stand-in was called so), "file: PATH" (is in the tree);
# "no " before one turns it round ("no call: TEXT": no call starts with TEXT).
row() {
    local name=$1 kernel=$2 installed=$3 fails=$4 refused=$5 want_status=$6 want_arch=$7
    shift 7
    local tree=$work/$name state=$work/$name.state
    mkdir -p "$tree/tools" "$state"
    cp "$src"/tools/{setup.sh,host-arch.sh,stage.sh} "$tree/tools/"
    : >"$state/installed"; : >"$state/absent"; : >"$state/archs"; : >"$state/calls"
    local p words refusals
    read -ra words <<<"$installed"
    read -ra refusals <<<"$refused"
    for p in ${words[@]+"${words[@]}"}; do
        case $p in
            -*) echo "${p#-}" >>"$state/absent" ;;
            @*) mkdir -p "$(dirname "$tree/${p#@}")"; touch "$tree/${p#@}" ;;
            *) echo "$p" >>"$state/installed" ;;
        esac
    done
    echo "$fails" >"$state/update-fails"
    printf '%s\n' ${refusals[@]+"${refusals[@]}"} >"$state/refused"

    local out status=0 arch
    out=$(STATE=$state PATH="$standins:$PATH" MORVANTI_KERNEL_RUNS_I386=$kernel \
          bash "$tree/tools/setup.sh" 2>&1) || status=$?
    arch=$(STATE=$state PATH="$standins:$PATH" MORVANTI_KERNEL_RUNS_I386=$kernel \
           bash -c 'source "$1/tools/host-arch.sh"; echo "$MORVANTI_RUN_ARCH"' - "$tree")

    local bad=()
    [ "$status" -eq "$want_status" ] || bad+=("exit status $status, expected $want_status")
    [ "$arch" = "$want_arch" ] || bad+=("host-arch.sh chose $arch, expected $want_arch")
    local e negate text found
    for e in "$@"; do
        negate=0
        case $e in "no "*) negate=1; e=${e#no } ;; esac
        text=${e#*: }
        case $e in
            out:*) grep -qF -- "$text" <<<"$out" && found=1 || found=0 ;;
            log:*) grep -qF -- "$text" "$tree/build/setup.log" 2>/dev/null && found=1 || found=0 ;;
            call:*) if [ "$negate" -eq 1 ]; then
                        awk -v t="$text" 'index($0, t) == 1 { f = 1 } END { exit !f }' "$state/calls"
                    else grep -qxF -- "$text" "$state/calls"; fi && found=1 || found=0 ;;
            file:*) [ -e "$tree/$text" ] && found=1 || found=0 ;;
            *) bad+=("no such expectation: $e"); continue ;;
        esac
        [ "$found" -ne "$negate" ] || bad+=("$([ "$negate" -eq 1 ] && echo "unexpected" || echo "missing") $e")
    done
    if [ "${#bad[@]}" -eq 0 ]; then
        echo "ok   $name"
    else
        failures=$((failures + 1))
        echo "FAIL $name"
        printf '     %s\n' "${bad[@]}"
        echo "     --- output:"; sed 's/^/     | /' <<<"$out"
        echo "     --- calls:"; sed 's/^/     | /' "$state/calls"
    fi
}

i386_line="setup: 32-bit Wine could not be installed (see build/setup.log); the tests run on the x86-64 build, the 32-bit program is built and checked as a file"

# A fresh machine whose mirror serves a broken index for as long as the set-up tries: three
# updates 10 s and 30 s apart, then the install from the lists at hand, 32-bit Wine on its own.
row update-broken 1 "" 3 "" 0 i686 \
    'out: setup: installing 18 packages with apt-get' 'out: (apt'"'"'s output: build/setup.log)' \
    'out: setup: apt-get update failed (try 1 of 3); trying again in 10 s' \
    'out: setup: apt-get update failed (try 2 of 3); trying again in 30 s' \
    'out: setup: apt-get update failed 3 times (see build/setup.log); going on with the package lists fetched' \
    'call: sleep 10' 'call: sleep 30' 'call: dpkg --add-architecture i386' \
    'call: apt-get -q -o DPkg::Lock::Timeout=300 install -y --no-install-recommends wine32:i386' \
    'no call: apt-get -q -o DPkg::Lock::Timeout=300 install -y --no-install-recommends wine64' \
    'log: Mirror sync in progress?' 'no out: Reading package lists' 'no out: Mirror sync' \
    'out: setup: all tools present; the tests run on the 32-bit build'
# The i386 lists lag behind the amd64 packages: wine32:i386 cannot be installed, the rest can,
# and the x86-64 build takes its place. One failed update is retried once.
row i386-held 1 "" 1 "wine32:i386=held" 0 x86_64 \
    'out: setup: apt-get update failed (try 1 of 3); trying again in 10 s' 'no call: sleep 30' \
    'no out: going on with the package lists fetched' \
    "out: $i386_line" 'out: setup: installing 3 packages for the x86-64 build: wine64' \
    'call: apt-get -q -o DPkg::Lock::Timeout=300 install -y --no-install-recommends wine64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64' \
    'log: you have held broken packages' 'no out: held broken' 'file: build/setup-i386.failed' \
    'out: setup: all tools present; without 32-bit Wine the tests run on the x86-64 build'
# The next run within a day does not try again, and asks apt for nothing.
row i386-failed-earlier 1 "$all -wine32:i386 @build/setup-i386.failed" 0 "" 0 x86_64 \
    'out: setup: 32-bit Wine could not be installed at' 'no call: apt-get' 'no call: dpkg --add'
# A kernel without 32-bit support: no i386 architecture, no 32-bit Wine; the x86-64 packages come
# with the rest in one call.
row no-i386-kernel 0 "" 0 "" 0 x86_64 \
    'out: setup: installing 20 packages with apt-get' 'no call: dpkg --add-architecture' \
    'no call: apt-get -q -o DPkg::Lock::Timeout=300 install -y --no-install-recommends wine32' \
    'out: setup: all tools present; this kernel runs no 32-bit programs'
# Everything there: nothing is asked of apt, nothing is logged.
row all-present 1 "$all" 0 "" 0 i686 'no call: apt-get' 'no file: build/setup.log' \
    'out: setup: all tools present; the tests run on the 32-bit build'
# No package lists and no mirror: nothing can be installed. One line names the packages and the
# log; the end of the log is shown.
row nothing-installable 1 "" 3 "*=absent" 1 x86_64 \
    'out: setup: could not install g++-mingw-w64-i686-posix binutils-mingw-w64-i686 cmake' \
    'out: clang-tidy (see build/setup.log)' 'out: | E: Unable to locate package clang-tidy' \
    'no call: apt-get -q -o DPkg::Lock::Timeout=300 install -y --no-install-recommends wine32' \
    'no out: all tools present'
# 32-bit Wine held back and 64-bit Wine missing: no Wine at all runs here.
row no-wine 1 "" 0 "wine32:i386=held wine64=absent" 1 x86_64 \
    "out: $i386_line" \
    'out: setup: could not install wine32:i386 wine64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64: no Wine runs here (see build/setup.log)' \
    'out: | E: Unable to locate package wine64' 'no out: all tools present'

[ "$failures" -eq 0 ] || { echo "setup: $failures row(s) failed"; exit 1; }
