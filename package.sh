#!/usr/bin/env bash
# Builds the Debian package kestro-welcome_<version>_<arch>.deb from a
# Release build (tests off) in BUILD_DIR, default build/package, and prints
# its path last.
#   ./package.sh [BUILD_DIR]
# Then: sudo apt-get install ./build/package/kestro-welcome_*.deb
set -euo pipefail
cd "$(dirname "$0")"
build=${1:-build/package}
source scripts/ensure_packages.sh
ensure_packages

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKWS_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"
# "CPack: - package: /path/kestro-welcome_1.0.0.85_amd64.deb generated."
deb=$(cd "$build" && cpack -G DEB | sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p')
[ -f "$deb" ] || { echo "package.sh: cpack made no package" >&2; exit 1; }
echo "$deb"
