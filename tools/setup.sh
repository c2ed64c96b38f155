#!/usr/bin/env bash
# Installs what building, testing and running Morvanti needs on a Debian host: the MinGW-w64
# cross compiler, CMake, GoogleTest sources, Wine, Xvfb, the en_US.UTF-8, zh_CN.UTF-8 and
# hi_IN.UTF-8 locales (Wine's ANSI code pages 1252, 936 and 65001) and a CJK font; zip and unzip
# for the release package; ImageMagick and Wine's Marlett font (caption buttons) for the
# screenshots; clang-tidy (with clang's own headers) for the static analysis; clang, lld, its
# sanitizer and libFuzzer runtimes and Wine's Windows headers for the fuzz build (tools/fuzz.sh),
# with the 32-bit C and C++ libraries where the kernel runs 32-bit programs. Does nothing when
# everything is there. apt's output goes to build/setup.log.
#
# 32-bit Wine (wine32:i386) is installed only where the kernel runs 32-bit programs, and in an
# apt-get call of its own: i386 packages fail to install whenever the mirror's i386 lists lag
# behind the amd64 packages installed ("held broken packages"), and that must not keep the rest
# out. Without it the tests run on an x86-64 build under 64-bit Wine (tools/host-arch.sh), whose
# packages are installed instead; a failed attempt is repeated a day later at the earliest
# (build/setup-i386.failed). With 32-bit Wine comes Wine's 64-bit loader (wine64), in a call of
# its own too, for the test of the 32-bit program in a 64-bit prefix. A failed "apt-get update" is tried again (three tries, 10 and 30 s
# apart) only while the package lists at hand lack a package to install; then those lists are
# used. The set-up stops only when what building and testing need cannot be installed.
#
# MORVANTI_SYSROOT=DIR: the system's files that the set-up reads or checks (/etc/locale.gen,
# Wine's 64-bit loader, ImageMagick's import) are those under DIR, as the set-up test has them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tools/host-arch.sh"
source "$root/tools/stage.sh"
log=$root/build/setup.log
i386_failed=$root/build/setup-i386.failed

say() { echo "setup: $*"; }
fail() { echo "setup: $*" >&2; exit 1; }
fail_with_log() { morvanti_log_end "$log" 20; fail "$*"; }

sysroot=${MORVANTI_SYSROOT:-}
locale_gen=$sysroot/etc/locale.gen
wine64_loader=$sysroot/usr/lib/wine/wine64
# ImageMagick by its full path: another program called "import" may come first in PATH.
magick_import=$sysroot/usr/bin/import

packages=(
    g++-mingw-w64-i686-posix binutils-mingw-w64-i686
    cmake make googletest
    wine
    xvfb xauth x11-utils
    locales fonts-wqy-microhei
    zip unzip python3
    imagemagick fonts-wine
    clang-tidy
    clang lld libclang-rt-14-dev libwine-dev
)
# The fuzz build's -m32 libraries, of use only where the kernel runs 32-bit programs.
packages_i386_dev=(lib32stdc++-12-dev libc6-dev-i386)
wine32=wine32:i386
# The x86-64 build and Wine's 64-bit loader, where 32-bit Wine cannot run.
packages64=(wine64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64)

# (Never "COMMAND | grep -q": grep leaves at the first match, and under pipefail the writer's
# SIGPIPE would make a match count as none.)
installed() { [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]; }
# The names among the arguments that are not installed, one a line.
not_installed() { local p; for p; do installed "$p" || echo "$p"; done; }
# The names among the arguments that the package lists at hand offer no version of, one a line.
not_offered() {
    local offered p
    offered=$(LC_ALL=C apt-cache policy "$@" 2>/dev/null | awk '
        /^[^ ].*:$/ { name = substr($0, 1, length($0) - 1) }
        $1 == "Candidate:" && $2 != "(none)" { print name }')
    for p; do grep -qxF -- "$p" <<<"$offered" || echo "$p"; done
}

need_root() {
    if [ "$(id -u)" -eq 0 ]; then
        SUDO=()
    elif command -v sudo >/dev/null 2>&1; then
        SUDO=(sudo)
    else
        fail "root (or sudo) is needed to install $*"
    fi
}
apt_get() {
    morvanti_logged "$log" "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get -q -o DPkg::Lock::Timeout=300 "$@"
}
apt_install() { apt_get install -y --no-install-recommends "$@" && [ -z "$(not_installed "$@")" ]; }

# A mirror in the middle of a sync serves index files that do not match its Release file; apt
# then ignores them, fetches the others and keeps the lists it had, which usually still install.
# Trying again helps only when those lists lack one of the packages (the arguments).
update_lists() {
    local try delays=(10 30) lacking
    for try in 1 2 3; do
        apt_get update && return 0
        lacking=$(not_offered "$@" | xargs)
        if [ -z "$lacking" ]; then
            say "apt-get update failed (see build/setup.log); the package lists at hand offer every" \
                "package to install, so the set-up goes on with them"
            return 0
        fi
        [ "$try" -lt 3 ] || break
        say "apt-get update failed (try $try of 3) and the package lists at hand lack $lacking;" \
            "trying again in ${delays[try - 1]} s"
        sleep "${delays[try - 1]}"
    done
    say "apt-get update failed 3 times (see build/setup.log); going on with the package lists fetched"
}

# What to install. 32-bit Wine only where it can run; the x86-64 packages unless it is (or is
# about to be) installed.
try_i386=0
kernel_i386=0
morvanti_kernel_runs_i386 && kernel_i386=1
if [ "$kernel_i386" -eq 1 ] && ! installed "$wine32"; then
    if [ -n "$(find "$i386_failed" -mmin -1440 2>/dev/null)" ]; then
        say "32-bit Wine could not be installed at $(date -r "$i386_failed" '+%F %R') (see build/setup.log);" \
            "the tests run on the x86-64 build; set-up tries again a day later or once" \
            "build/setup-i386.failed is deleted"
    else
        try_i386=1
    fi
fi
[ "$kernel_i386" -eq 0 ] || packages+=("${packages_i386_dev[@]}")
mapfile -t missing < <(not_installed "${packages[@]}")
# Beside 32-bit Wine, Wine's 64-bit loader too: with it the 32-bit program is also tested in a
# 64-bit prefix, as it runs on 64-bit Windows. Nothing else needs it, so it is installed on its
# own, and when it cannot be, that one test is skipped.
try_wow64=0
if [ "$try_i386" -eq 0 ] && ! { [ "$kernel_i386" -eq 1 ] && installed "$wine32"; }; then
    mapfile -t -O "${#missing[@]}" missing < <(not_installed "${packages64[@]}")
elif ! installed wine64; then
    try_wow64=1
fi

if [ "$((${#missing[@]} + try_i386 + try_wow64))" -gt 0 ]; then
    wanted=("${missing[@]}")
    [ "$try_i386" -eq 0 ] || wanted+=("$wine32")
    [ "$try_wow64" -eq 0 ] || wanted+=(wine64)
    need_root "${wanted[*]}"
    mkdir -p "$root/build"
    printf '\n== tools/setup.sh, %s: installing %s\n' "$(date '+%F %T')" "${wanted[*]}" >>"$log"
    say "installing ${#wanted[@]} packages with apt-get and what they need; the first time that takes" \
        "2 to 5 minutes (apt's output: build/setup.log)"
    say "  ${wanted[*]}"
    if [ "$try_i386" -eq 1 ] && ! grep -qx i386 < <(dpkg --print-foreign-architectures); then
        morvanti_logged "$log" "${SUDO[@]}" dpkg --add-architecture i386 \
            || fail_with_log "dpkg --add-architecture i386 failed (see build/setup.log)"
    fi
    update_lists "${wanted[@]}"
    if [ "${#missing[@]}" -gt 0 ] && ! apt_install "${missing[@]}"; then
        fail_with_log "could not install $(not_installed "${missing[@]}" | xargs) (see build/setup.log)"
    fi
    if [ "$try_i386" -eq 1 ]; then
        if apt_install "$wine32"; then
            rm -f "$i386_failed"
        else
            date >"$i386_failed"
            say "32-bit Wine could not be installed (see build/setup.log); the tests run on the x86-64" \
                "build, the 32-bit program is built and checked as a file"
            mapfile -t missing64 < <(not_installed "${packages64[@]}")
            if [ "${#missing64[@]}" -gt 0 ]; then
                say "installing ${#missing64[@]} packages for the x86-64 build: ${missing64[*]}"
                apt_install "${missing64[@]}" || fail_with_log "could not install $wine32" \
                    "$(not_installed "${missing64[@]}" | xargs): no Wine runs here (see build/setup.log)"
            fi
        fi
    fi
    if [ "$try_wow64" -eq 1 ] && ! installed wine64 && ! apt_install wine64; then
        say "Wine's 64-bit loader (wine64) could not be installed (see build/setup.log); the test of" \
            "the 32-bit program in a 64-bit prefix is skipped"
    fi
fi

# Wine takes the ANSI code page from the locale, and only from a generated one: 1252, 936, and
# 65001 (UTF-8, as Windows 10/11 make it with "Use Unicode UTF-8 for worldwide language support")
# from a language without an ANSI code page of its own.
gen_locales=()
for loc in en_US.UTF-8 zh_CN.UTF-8 hi_IN.UTF-8; do
    grep -qx "${loc/UTF-8/utf8}" < <(locale -a 2>/dev/null) || gen_locales+=("$loc")
done
if [ "${#gen_locales[@]}" -gt 0 ]; then
    need_root "the locales ${gen_locales[*]}"
    say "generating the locales ${gen_locales[*]} (about 10 s; output: build/setup.log)"
    for loc in "${gen_locales[@]}"; do
        grep -q "^${loc} UTF-8" "$locale_gen" 2>/dev/null \
            || echo "${loc} UTF-8" | "${SUDO[@]}" tee -a "$locale_gen" >/dev/null
    done
    morvanti_logged "$log" "${SUDO[@]}" locale-gen || fail_with_log "locale-gen failed (see build/setup.log)"
    for loc in "${gen_locales[@]}"; do
        grep -qx "${loc/UTF-8/utf8}" < <(locale -a) || fail "locale $loc was not generated (see build/setup.log)"
    done
fi

morvanti_decide_arch
tools=(i686-w64-mingw32-g++-posix i686-w64-mingw32-windres cmake wine Xvfb zip unzip xwininfo clang-tidy clang++ ld.lld)
[ "$MORVANTI_RUN_ARCH" = i686 ] || tools+=(x86_64-w64-mingw32-g++-posix)
for tool in "${tools[@]}"; do
    command -v "$tool" >/dev/null 2>&1 || fail "$tool is missing after the install (see build/setup.log)"
done
[ "$MORVANTI_RUN_ARCH" = i686 ] || [ -x "$wine64_loader" ] \
    || fail "Wine's 64-bit loader $wine64_loader is missing after the install (see build/setup.log)"
[ -x "$magick_import" ] || fail "ImageMagick's import is missing after the install (see build/setup.log)"
if [ "$MORVANTI_RUN_ARCH" = i686 ]; then
    say "all tools present; the tests run on the 32-bit build"
elif [ "$kernel_i386" -eq 0 ]; then
    say "all tools present; this kernel runs no 32-bit programs, so the tests run on the x86-64 build"
else
    say "all tools present; without 32-bit Wine the tests run on the x86-64 build"
fi
