#!/bin/sh
# The browser check of report.html; skipped (77) where headless Chromium,
# node or the installed puppeteer-core are missing. .ci/run installs them.
here="$(cd "$(dirname "$0")" && pwd)"
command -v node >/dev/null 2>&1 || { echo "SKIP: no node"; exit 77; }
browser="${CHROMIUM:-$(command -v chromium || command -v chromium-browser)}"
[ -n "$browser" ] && [ -x "$browser" ] || { echo "SKIP: no chromium"; exit 77; }
[ -d "$here/node_modules/puppeteer-core" ] || { echo "SKIP: no node_modules (npm ci in tests/browser)"; exit 77; }
exec node "$here/page_check.js" "$1" "$browser"
