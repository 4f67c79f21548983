#!/usr/bin/env bash
# Runs every test: the unit tests built with g++ and with clang under
# AddressSanitizer and UndefinedBehaviorSanitizer and the command line's
# end-to-end tests, then the page built with emscripten and its tests in
# chromium against the command line built first, then the Windows builds and their end-to-end tests under
# Wine; then each fuzz target for a bounded time,
# cppcheck, clang-tidy and the clang-format check, and the unit tests under
# Valgrind's memcheck; last, the Debian package built twice, checked,
# installed, used and removed (as root, for dpkg -i).
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh

for preset in default web clang mingw fuzz lint valgrind; do
    echo "== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done

echo "== package"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo python3 tests/package/test_package.py
