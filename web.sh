#!/usr/bin/env bash
# Builds the browser page with Debian's emscripten:
#   ./web.sh
# The page lands in build/web/page (to publish on any static host) and as one
# self-contained file, build/web/kestro-welcome.html, whose SHA-256 the build
# prints. The first build fetches the sources of Debian's zlib,
# libimagequant and libpng with apt-get source.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure_packages.sh
# The page needs only these of the project's packages.
KWS_PACKAGES=(cmake ninja-build dpkg-dev emscripten python3)
ensure_packages

cmake --preset web >/dev/null
cmake --build build/web -j "$(nproc 2>/dev/null || echo 2)"
echo
echo "The page: $PWD/build/web/page/index.html (serve the folder), or the single file"
echo "  $PWD/build/web/kestro-welcome.html (open it from the disk)"
