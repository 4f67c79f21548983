#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, once: packages that
# are already there are not fetched again, and the Japanese locale (under
# which Wine's ANSI code page is 932) is generated only when missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang-14 libclang-rt-14-dev libgtest-dev
    g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64
    wine64 fonts-wine fonts-ipafont-gothic xvfb xauth x11-utils libx11-dev locales imagemagick
    python3 strace git
    cppcheck clang-tidy-14 clang-format-14 valgrind
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "generating the ja_JP.UTF-8 locale"
    if ! grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen; then
        echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    fi
    $sudo locale-gen >/dev/null
fi
