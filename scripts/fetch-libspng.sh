#!/usr/bin/env bash
# Unpacks Debian 12's source package of libspng 0.7.3 into DEST (by default
# /usr/local/src/libspng-0.7.3), which the MinGW build compiles into the
# Windows command line: Debian ships libspng for Linux alone. apt-get reads
# its deb-src entry from a sources file of this script's own and keeps the
# package lists it fetches in a folder of its own, so the system's apt
# configuration and lists are left as they are. Does nothing when DEST holds
# the sources already.
#   fetch-libspng.sh [DEST]
set -euo pipefail
version=0.7.3
dest=${1:-/usr/local/src/libspng-$version}

if [ -f "$dest/spng/spng.c" ] && [ -f "$dest/LICENSE" ]; then
    exit 0
fi

state=$(mktemp -d)
trap 'rm -rf "$state"' EXIT
mkdir -p "$state/lists/partial" "$state/unpack"
echo "deb-src http://deb.debian.org/debian bookworm main" >"$state/sources.list"
apt_options=(
    -o "Dir::Etc::sourcelist=$state/sources.list" -o Dir::Etc::sourceparts=-
    -o "Dir::State::Lists=$state/lists" -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=
    -o APT::Sandbox::User=root
)
apt-get "${apt_options[@]}" -qq update
(cd "$state/unpack" && apt-get "${apt_options[@]}" -qq source libspng >/dev/null)
if [ ! -f "$state/unpack/libspng-$version/spng/spng.c" ]; then
    echo "fetch-libspng.sh: Debian's libspng source is not version $version" >&2
    exit 1
fi
mkdir -p "$(dirname "$dest")"
rm -rf "$dest"
mv "$state/unpack/libspng-$version" "$dest"
echo "libspng $version sources in $dest"
