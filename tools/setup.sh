#!/usr/bin/env bash
# Installs what building, testing and running Morvanti needs on a Debian host:
# the 32-bit MinGW-w64 cross compiler, CMake, GoogleTest sources, 32-bit Wine,
# Xvfb, the en_US.UTF-8 and zh_CN.UTF-8 locales and a CJK font; zip and unzip for
# the release package; ImageMagick and Wine's Marlett font (caption buttons) for the
# screenshots; clang-tidy (with clang's own headers) for the static analysis.
# Does nothing when everything is there; stops with an error when an install fails.
set -euo pipefail

need_root() {
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then SUDO=sudo; else
            echo "setup: root (or sudo) is needed to install packages" >&2; exit 1
        fi
    else
        SUDO=
    fi
}

packages=(
    g++-mingw-w64-i686-posix binutils-mingw-w64-i686
    cmake make googletest
    wine wine32:i386
    xvfb xauth x11-utils
    locales fonts-wqy-microhei
    zip unzip python3
    imagemagick fonts-wine
    clang-tidy
)

missing=()
have_i386=0
dpkg --print-foreign-architectures | grep -qx i386 && have_i386=1
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ "$have_i386" -eq 0 ] || [ "${#missing[@]}" -gt 0 ]; then
    need_root
    echo "setup: installing ${missing[*]}"
    if [ "$have_i386" -eq 0 ]; then
        $SUDO dpkg --add-architecture i386
    fi
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -q
    $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
    for p in "${missing[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' \
            || { echo "setup: package $p did not install" >&2; exit 1; }
    done
fi

# Wine takes the ANSI code page from the locale, and only from a generated one.
gen_locales=()
for loc in en_US.UTF-8 zh_CN.UTF-8; do
    norm=$(echo "$loc" | sed 's/UTF-8/utf8/')
    if ! locale -a 2>/dev/null | grep -qx "$norm"; then gen_locales+=("$loc"); fi
done
if [ "${#gen_locales[@]}" -gt 0 ]; then
    need_root
    for loc in "${gen_locales[@]}"; do
        grep -q "^${loc} UTF-8" /etc/locale.gen 2>/dev/null \
            || echo "${loc} UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
    done
    $SUDO locale-gen
    for loc in "${gen_locales[@]}"; do
        norm=$(echo "$loc" | sed 's/UTF-8/utf8/')
        locale -a | grep -qx "$norm" || { echo "setup: locale $loc was not generated" >&2; exit 1; }
    done
fi

# A kernel that runs no 32-bit programs cannot start 32-bit Wine: the tests then run on an
# x86-64 build under Wine's 64-bit loader (tools/host-arch.sh), which needs these as well.
source "$(dirname "${BASH_SOURCE[0]}")/host-arch.sh"
if [ "$MORVANTI_RUN_ARCH" = x86_64 ]; then
    missing64=()
    for p in wine64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing64+=("$p")
    done
    if [ "${#missing64[@]}" -gt 0 ]; then
        need_root
        echo "setup: this kernel runs no 32-bit programs; installing ${missing64[*]} for 64-bit test builds"
        export DEBIAN_FRONTEND=noninteractive
        $SUDO apt-get install -y -q --no-install-recommends "${missing64[@]}" \
            || { $SUDO apt-get update -q && $SUDO apt-get install -y -q --no-install-recommends "${missing64[@]}"; }
    fi
    for tool in x86_64-w64-mingw32-g++-posix /usr/lib/wine/wine64; do
        command -v "$tool" >/dev/null 2>&1 || { echo "setup: $tool is missing after install" >&2; exit 1; }
    done
fi

for tool in i686-w64-mingw32-g++-posix i686-w64-mingw32-windres cmake wine Xvfb zip unzip xwininfo clang-tidy; do
    command -v "$tool" >/dev/null 2>&1 || { echo "setup: $tool is missing after install" >&2; exit 1; }
done
# ImageMagick by its full path: another program called "convert" may come first in PATH.
[ -x /usr/bin/import ] || { echo "setup: ImageMagick's import is missing after install" >&2; exit 1; }
echo "setup: all tools present"
