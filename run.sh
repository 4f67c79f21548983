#!/usr/bin/env bash
# Builds kolorvane.exe and runs it under Wine. With a display, the window
# opens there: drop .pal and .act files on it. Without one, it runs on a
# virtual screen, converts examples/sunset.pal, prints the notice and the
# file written, saves the README's screenshot, docs/kolorvane.png, and closes.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw >/dev/null

build=build/mingw
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    # A prefix of the project's own, so that the user's ~/.wine is not
    # touched; the Japanese locale gives the code page the texts are in.
    export WINEPREFIX="$PWD/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    export LC_ALL=ja_JP.UTF-8
    # Wine's address layout the same every run, as the tests have it
    # (tests/e2e/harness.py, fix_address_space).
    exec setarch "$(uname -m)" -R "$wine" "$build/win/kolorvane.exe"
fi

exec python3 tests/e2e/demo.py --exe "$build/win/kolorvane.exe" \
    --boxes "$build/tests/e2e/boxes.exe" --xdnd "$build/tests/e2e/xdnd-drop" \
    --work build/demo --picture docs/kolorvane.png examples/sunset.pal
