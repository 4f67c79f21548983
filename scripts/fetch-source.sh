#!/usr/bin/env bash
# Unpacks the Debian 12 source package PACKAGE, which must be upstream
# VERSION, into DEST (by default /usr/local/src/PACKAGE-VERSION), for the
# libraries the MinGW build compiles into the Windows command line: Debian
# ships them built for Linux alone. apt-get reads its deb-src entry from a
# sources file of this script's own and keeps the package lists it fetches
# in a folder of its own, so the system's apt configuration and lists are
# left as they are. Does nothing when DEST holds FILE (a path inside the
# sources that proves them unpacked) already.
#   fetch-source.sh PACKAGE VERSION FILE [DEST]
#   fetch-source.sh libspng 0.7.3 spng/spng.c
set -euo pipefail
package=${1:?usage: $0 PACKAGE VERSION FILE [DEST]}
version=${2:?usage: $0 PACKAGE VERSION FILE [DEST]}
file=${3:?usage: $0 PACKAGE VERSION FILE [DEST]}
dest=${4:-/usr/local/src/$package-$version}

if [ -f "$dest/$file" ]; then
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
(cd "$state/unpack" && apt-get "${apt_options[@]}" -qq source "$package" >/dev/null)
if [ ! -f "$state/unpack/$package-$version/$file" ]; then
    echo "fetch-source.sh: Debian's $package source is not version $version" >&2
    exit 1
fi
mkdir -p "$(dirname "$dest")"
rm -rf "$dest"
mv "$state/unpack/$package-$version" "$dest"
echo "$package $version sources in $dest"
