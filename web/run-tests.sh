#!/usr/bin/env bash
# The editor's end-to-end tests (`make web-test`): Playwright from the npm
# registry, installed from the lockfile without a browser of its own, driving
# Debian's chromium.  Arguments go to `playwright test`.
set -euo pipefail
cd "$(dirname "$0")"
if ! command -v chromium >/dev/null; then
  echo "web-test needs Debian's chromium (apt-get install chromium)" >&2
  exit 1
fi
if ! node -e 'process.exit(Number(process.versions.node.split(".")[0]) >= 20 ? 0 : 1)' 2>/dev/null; then
  echo "web-test needs Node.js 20 or later with npm (Playwright's requirement)" >&2
  exit 1
fi
if [ ! -d node_modules/@playwright/test ]; then
  PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund
fi
exec npx playwright test "$@"
