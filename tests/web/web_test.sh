#!/usr/bin/env bash
# Builds the browser page (build/web) and tests it in Debian's chromium
# against the native command line of build/release:
#   tests/web/web_test.sh [--werror]
# --werror builds the page with warnings as errors, for ./test.sh only; the
# setting is taken back afterwards, so build/web stays the user's build.
set -euo pipefail
cd "$(dirname "$0")/../.."
cli=build/release/bin/kestro-welcome-cli
if [ ! -x "$cli" ]; then
  echo "web_test.sh: build the native command line first (cmake --build build/release)" >&2
  exit 1
fi
werror=OFF
[ "${1:-}" = "--werror" ] && werror=ON

echo "=== build/web: the browser page ==="
cmake --preset web -DKWS_WERROR="$werror" >/dev/null
cmake --build build/web -j "$(nproc 2>/dev/null || echo 2)"
[ "$werror" = ON ] && cmake --preset web -DKWS_WERROR=OFF >/dev/null

# Debian's python3, which holds python3-selenium, whatever python3 comes first
# on the PATH.
/usr/bin/python3 tests/web/web_test.py build/web "$cli" build/web-test
