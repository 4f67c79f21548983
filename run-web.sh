#!/usr/bin/env bash
# Builds the page (the web preset) and opens it in a browser. With a display,
# the page opens there from disk: drop palettes on it. Without one, it opens
# in headless chromium, drops examples/sunset.pal on it, saves the README's
# screenshot, docs/kolorvane-web.png, and closes.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
cmake --preset web >/dev/null
cmake --build --preset web >/dev/null

page=build/web/web/page
echo "page: $PWD/$page/index.html"
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    # The desktop's browser, or Debian's chromium, which the set-up installs.
    exec "$(command -v xdg-open || echo chromium)" "file://$PWD/$page/index.html"
fi
exec node tests/web/demo.js --page "$page" --npm build/npm/node_modules \
    --picture docs/kolorvane-web.png examples/sunset.pal
