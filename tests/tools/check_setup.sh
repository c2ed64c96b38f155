#!/usr/bin/env bash
# Runs tools/setup.sh of a copy of the work tree against stand-ins for apt-get, apt-cache, dpkg,
# dpkg-query, locale, locale-gen, id and sleep placed first in PATH (no root, no network, no
# waiting) and a system root of its own (MORVANTI_SYSROOT), one row per machine state, and checks
# what it says, its exit status, what it asked apt for, its log, and the build tools/host-arch.sh
# chooses afterwards. The stand-ins answer as Debian 12's tools do: "apt-get update" exits 100 on
# an index file that does not match, "apt-get install" exits 100 with "Unable to locate package"
# or "held broken packages", "apt-cache policy" shows nothing for a package the lists lack,
# "dpkg-query -W" exits 1 for a package that is not installed. Then it checks that
# tools/wine-env.sh gives the locale to Wine from a shell that cannot switch to it.
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
# refused ("package=absent": no list has it; "package=stale": the lists at hand lack it until an
# update succeeds; "package=held"; "*" for every package), root (the system root), calls (every
# call). What they share is in state.sh beside them.
cat >"$standins/state.sh" <<'END'
installed() { grep -qxF "$1" "$STATE/installed" || { grep -qx "[*]" "$STATE/installed" && ! grep -qxF "$1" "$STATE/absent"; }; }
# How the mirror refuses a package: absent, stale, held or not at all (nothing).
refusal() {
    local name how
    while IFS="=" read -r name how; do case $name in "$1"|"*") echo "$how"; return ;; esac; done <"$STATE/refused"
    case $1 in *:i386) grep -qx i386 "$STATE/archs" || echo absent ;; esac
}
# The file of the system root that the set-up checks, made by the package that installs it.
provide() {
    local file
    case $1 in wine64) file=usr/lib/wine/wine64 ;; imagemagick) file=usr/bin/import ;; *) return 0 ;; esac
    mkdir -p "$(dirname "$STATE/root/$file")" && touch "$STATE/root/$file" && chmod +x "$STATE/root/$file"
}
END
source "$standins/state.sh"
standin() { printf '#!/usr/bin/env bash\necho "%s $*" >>"$STATE/calls"\nsource "${0%%/*}/state.sh"\n%s\n' \
                "$1" "$2" >"$standins/$1"
            chmod +x "$standins/$1"; }
standin dpkg-query '
for p; do case $p in -*) ;; *) pkg=$p ;; esac; done
if installed "$pkg"; then printf "install ok installed"; else echo "dpkg-query: no packages found matching $pkg" >&2; exit 1; fi'
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
    if [ "$left" -eq 0 ]; then sed -i "/=stale$/d" "$STATE/refused"; exit 0; fi
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
    case $(refusal "$p") in absent|stale) absent+=("$p") ;; held) held+=("$p") ;; esac
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
for p in "${pkgs[@]}"; do provide "$p"; echo "Setting up $p ..."; done'
standin apt-cache '
[ "$1" = policy ] || exit 2
shift
for p; do
    case $(refusal "$p") in absent|stale) ;; *) printf "%s:\n  Installed: (none)\n  Candidate: 1.0\n" "$p" ;; esac
done'
standin locale '[ "$1" = -a ] && printf "C\nC.utf8\nPOSIX\nen_US.utf8\nhi_IN.utf8\nzh_CN.utf8\n"'
standin locale-gen 'exit 0'
standin id '[ "$1" = -u ] && echo 0'
standin sleep 'exit 0'
# The tools setup.sh looks for once the packages are in: found wherever their packages are.
for tool in i686-w64-mingw32-g++-posix i686-w64-mingw32-windres x86_64-w64-mingw32-g++-posix \
    cmake Xvfb zip unzip xwininfo clang-tidy clang++ ld.lld; do
    standin "$tool" 'exit 0'
done
standin wine 'echo "wine under LC_ALL=${LC_ALL:-} LANG=${LANG:-}" >>"$STATE/calls"'

# report NAME [PROBLEM...]: the row's verdict; false, and counted, when there are problems.
report() {
    local name=$1
    shift
    if [ "$#" -eq 0 ]; then
        echo "ok   $name"
        return 0
    fi
    failures=$((failures + 1))
    echo "FAIL $name"
    printf '     %s\n' "$@"
    return 1
}

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
    mkdir -p "$state/root"
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
    for p in wine64 imagemagick; do STATE=$state installed "$p" && STATE=$state provide "$p"; done

    local out status=0 arch
    out=$(STATE=$state PATH="$standins:$PATH" MORVANTI_KERNEL_RUNS_I386=$kernel MORVANTI_SYSROOT=$state/root \
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
    report "$name" "${bad[@]}" || {
        echo "     --- output:"; sed 's/^/     | /' <<<"$out"
        echo "     --- calls:"; sed 's/^/     | /' "$state/calls"
    }
}

i386_line="setup: 32-bit Wine could not be installed (see build/setup.log); the tests run on the x86-64 build, the 32-bit program is built and checked as a file"

# A fresh machine whose mirror serves one broken index for as long as the set-up tries: the
# update fetches the others, whose lists offer every package, so the install follows at once from
# them, 32-bit Wine on its own.
row update-broken 1 "" 3 "" 0 i686 \
    'out: setup: installing 25 packages with apt-get' 'out: (apt'"'"'s output: build/setup.log)' \
    'out: setup: apt-get update failed (see build/setup.log); the package lists at hand offer every package to install, so the set-up goes on with them' \
    'no call: sleep' 'no out: try 1 of 3' 'call: dpkg --add-architecture i386' \
    'call: apt-get -q -o DPkg::Lock::Timeout=300 install -y --no-install-recommends wine32:i386' \
    'call: apt-get -q -o DPkg::Lock::Timeout=300 install -y --no-install-recommends wine64' \
    'no call: apt-get -q -o DPkg::Lock::Timeout=300 install -y --no-install-recommends wine64 g++' \
    'log: Mirror sync in progress?' 'no out: Reading package lists' 'no out: Mirror sync' \
    'out: setup: all tools present; the tests run on the 32-bit build'
# The lists at hand lack a package (cmake) until an update succeeds, which the third does: two
# more tries, 10 s and 30 s after the failed ones.
row update-lacking 1 "" 2 "cmake=stale" 0 i686 \
    'out: setup: apt-get update failed (try 1 of 3) and the package lists at hand lack cmake; trying again in 10 s' \
    'out: setup: apt-get update failed (try 2 of 3) and the package lists at hand lack cmake; trying again in 30 s' \
    'call: sleep 10' 'call: sleep 30' 'no out: going on with' \
    'call: apt-get -q -o DPkg::Lock::Timeout=300 install -y --no-install-recommends wine32:i386' \
    'out: setup: all tools present; the tests run on the 32-bit build'
# The i386 lists lag behind the amd64 packages: wine32:i386 cannot be installed, the rest can,
# and the x86-64 build takes its place. A failed update is not retried: the lists offer wine32.
row i386-held 1 "" 1 "wine32:i386=held" 0 x86_64 \
    'out: the package lists at hand offer every package to install' 'no call: sleep' \
    "out: $i386_line" 'out: setup: installing 3 packages for the x86-64 build: wine64' \
    'call: apt-get -q -o DPkg::Lock::Timeout=300 install -y --no-install-recommends wine64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64' \
    'log: you have held broken packages' 'no out: held broken' 'file: build/setup-i386.failed' \
    'out: setup: all tools present; without 32-bit Wine the tests run on the x86-64 build'
# 32-bit Wine there, its 64-bit loader refused: only the test in a 64-bit prefix goes, which the
# set-up says; a later run tries the loader again.
row wow64-refused 1 "$all -wine64" 0 "wine64=absent" 0 i686 \
    'out: setup: installing 1 packages with apt-get' \
    'call: apt-get -q -o DPkg::Lock::Timeout=300 install -y --no-install-recommends wine64' \
    "out: setup: Wine's 64-bit loader (wine64) could not be installed (see build/setup.log); the test of the 32-bit program in a 64-bit prefix is skipped" \
    'no call: dpkg --add-architecture' 'out: setup: all tools present; the tests run on the 32-bit build'
# The next run within a day does not try again, and asks apt for nothing.
row i386-failed-earlier 1 "$all -wine32:i386 @build/setup-i386.failed" 0 "" 0 x86_64 \
    'out: setup: 32-bit Wine could not be installed at' 'no call: apt-get' 'no call: dpkg --add'
# A kernel without 32-bit support: no i386 architecture, no 32-bit Wine; the x86-64 packages come
# with the rest in one call.
row no-i386-kernel 0 "" 0 "" 0 x86_64 \
    'out: setup: installing 24 packages with apt-get' 'no call: dpkg --add-architecture' \
    'no call: apt-get -q -o DPkg::Lock::Timeout=300 install -y --no-install-recommends lib32stdc++-12-dev' \
    'no call: apt-get -q -o DPkg::Lock::Timeout=300 install -y --no-install-recommends wine32' \
    'out: setup: all tools present; this kernel runs no 32-bit programs'
# Everything there: nothing is asked of apt, nothing is logged.
row all-present 1 "$all" 0 "" 0 i686 'no call: apt-get' 'no file: build/setup.log' \
    'out: setup: all tools present; the tests run on the 32-bit build'
# No package lists and no mirror: nothing can be installed. One line names the packages and the
# log; the end of the log is shown.
row nothing-installable 1 "" 3 "*=absent" 1 x86_64 \
    'out: setup: apt-get update failed (try 2 of 3) and the package lists at hand lack g++-mingw-w64-i686-posix' \
    'out: setup: apt-get update failed 3 times (see build/setup.log); going on with the package lists fetched' \
    'out: setup: could not install g++-mingw-w64-i686-posix binutils-mingw-w64-i686 cmake' \
    'out: clang-tidy clang lld libclang-rt-14-dev libwine-dev lib32stdc++-12-dev libc6-dev-i386 (see build/setup.log)' \
    'out: | E: Unable to locate package clang-tidy' \
    'no call: apt-get -q -o DPkg::Lock::Timeout=300 install -y --no-install-recommends wine32' \
    'no out: all tools present'
# A machine set up before the fuzz build: only its packages are installed, with the 32-bit
# libraries where the kernel runs 32-bit programs and without them where it does not.
row fuzz-packages 1 "$all -libwine-dev -libclang-rt-14-dev -lib32stdc++-12-dev" 0 "" 0 i686 \
    'out: setup: installing 3 packages with apt-get' \
    'call: apt-get -q -o DPkg::Lock::Timeout=300 install -y --no-install-recommends libclang-rt-14-dev libwine-dev lib32stdc++-12-dev'
row fuzz-packages-no-i386 0 "$all -libwine-dev -lib32stdc++-12-dev -libc6-dev-i386" 0 "" 0 x86_64 \
    'out: setup: installing 1 packages with apt-get' \
    'call: apt-get -q -o DPkg::Lock::Timeout=300 install -y --no-install-recommends libwine-dev'
# 32-bit Wine held back and 64-bit Wine missing: no Wine at all runs here.
row no-wine 1 "" 0 "wine32:i386=held wine64=absent" 1 x86_64 \
    "out: $i386_line" \
    'out: setup: could not install wine32:i386 wine64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64: no Wine runs here (see build/setup.log)' \
    'out: | E: Unable to locate package wine64' 'no out: all tools present'

# tools/wine-env.sh in a shell that started before tools/setup.sh generated the locale it needs:
# such a shell has looked for it (LANG) and cannot switch to it, although "locale -a" lists it and
# every new process loads it. Here the locale is looked for in a folder of the test's own
# (LOCPATH) and is made there after the shell has started, from Debian's compiled C.utf8. Wine
# must run under the locale, and the shell must neither switch to it nor warn.
check_wine_locale() {
    local tree=$work/wine-locale state=$work/wine-locale.state out bad=()
    mkdir -p "$tree/tools" "$state" "$work/locales"
    cp "$src"/tools/{wine-env.sh,host-arch.sh,stage.sh} "$tree/tools/"
    echo wine32:i386 >"$state/installed"; : >"$state/absent"; : >"$state/calls"
    out=$(STATE=$state PATH="$standins:$PATH" MORVANTI_KERNEL_RUNS_I386=1 LOCPATH=$work/locales \
          LC_ALL= LANG=zh_CN.UTF-8 bash -c '
              ln -s /usr/lib/locale/C.utf8 "$LOCPATH/zh_CN.UTF-8" || exit
              source "$1/tools/wine-env.sh" && morvanti_wine_locale zh_CN.UTF-8 && wine start &&
              echo "shell under LC_ALL=${LC_ALL:-}"' - "$tree" 2>&1)
    [ "$out" = "shell under LC_ALL=" ] || bad+=("the shell said or did more:" "$out")
    grep -qxF "wine under LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8" "$state/calls" \
        || bad+=("Wine ran otherwise:" "$(grep '^wine' "$state/calls")")
    report wine-locale "${bad[@]}"
}
check_wine_locale

[ "$failures" -eq 0 ] || { echo "setup: $failures check(s) failed"; exit 1; }
