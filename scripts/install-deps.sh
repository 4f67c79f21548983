#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, once: packages that
# are already there are not fetched again, and the locales the tests run
# Wine under are generated only when missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang-14 libclang-rt-14-dev libgtest-dev
    g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64
    wine64 fonts-wine fonts-ipafont-gothic xvfb xauth x11-utils libx11-dev locales imagemagick
    python3 strace rsync git groff-base gimp nodejs fonts-dejavu-core
    pkg-config libspng-dev zlib1g-dev libz-mingw-w64-dev dpkg-dev pngcheck python3-pil
    libgif-dev giflib-tools
    cppcheck clang-tidy-14 clang-format-14 valgrind
    debhelper lintian man-db bash-completion fish zsh
    netpbm
    liblcms2-dev liblcms2-utils scribus-data krita python3-pyqt5
    libzip-dev libpugixml-dev nlohmann-json3-dev
    emscripten chromium
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

# ase-utils, which reads and writes .ase files, and colorjs.io and culori,
# which convert Lab to sRGB without LittleCMS, for the tests; playwright-core,
# which drives Debian's chromium through the page's tests (no browser of
# its own is downloaded), and axe-core, which checks the page's
# accessibility: from the npm registry, at the versions the tests were
# written against, into the project's build folder.
if ! command -v npm >/dev/null; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends npm >/dev/null
fi
npm_root="$(cd "$(dirname "$0")/.." && pwd)/build/npm"
for module in ase-utils@0.1.1 colorjs.io@0.7.1 culori@4.0.2 playwright-core@1.65.2 axe-core@4.14.1 \
    @atesgoral/acb@0.4.0; do
    name=${module%@*}
    version=${module##*@}
    if ! grep -qs "\"version\": \"$version\"" "$npm_root/node_modules/$name/package.json"; then
        echo "installing $name $version from npm"
        mkdir -p "$npm_root"
        npm install --prefix "$npm_root" --save-exact --no-audit --no-fund --loglevel=error "$module" >/dev/null
    fi
done

# LibreOffice's own palettes, which the tests read: Debian's
# libreoffice-common unpacked into the build folder, never installed.
office_root="$(cd "$(dirname "$0")/.." && pwd)/build/libreoffice-common"
if [ ! -d "$office_root/usr/lib/libreoffice/share/palette" ]; then
    echo "unpacking libreoffice-common's palettes"
    mkdir -p "$office_root"
    (cd "$office_root" && apt-get download libreoffice-common >/dev/null &&
        dpkg-deb -x libreoffice-common_*.deb .)
fi

# The Windows command line and the page build their libraries from
# Debian's source packages (zlib for the page alone): each line a package,
# its upstream version and a file that proves its sources unpacked in
# /usr/local/src/PACKAGE-VERSION.
sources=(
    "libspng 0.7.3 spng/spng.c"
    "giflib 5.2.1 gif_lib.h"
    "lcms2 2.14 src/cmscnvrt.c"
    "libzip 1.7.3 lib/zip_open.c"
    "pugixml 1.13 src/pugixml.cpp"
    "nlohmann-json3 3.11.2 single_include/nlohmann/json.hpp"
    "zlib 1.2.13.dfsg zlib.h"
)
for source in "${sources[@]}"; do
    read -r name version file <<<"$source"
    if [ ! -f "/usr/local/src/$name-$version/$file" ]; then
        sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        $sudo "$(dirname "$0")/fetch-source.sh" "$name" "$version" "$file"
    fi
done

# Under Wine the locale picks the ANSI code page: 932 (Japanese), 936 and
# 950 (Chinese), 949 (Korean) and 1252 (English) are each tested.
locales=(ja_JP zh_CN zh_TW ko_KR en_US)
wanted=()
for name in "${locales[@]}"; do
    if ! locale -a 2>/dev/null | grep -qix "$name.utf8"; then
        wanted+=("$name")
    fi
done
if [ ${#wanted[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "generating the locales: ${wanted[*]}"
    for name in "${wanted[@]}"; do
        if ! grep -q "^$name.UTF-8 UTF-8" /etc/locale.gen; then
            echo "$name.UTF-8 UTF-8" | $sudo tee -a /etc/locale.gen >/dev/null
        fi
    done
    $sudo locale-gen >/dev/null
fi
