#!/usr/bin/env bash
# Builds the Debian package kestro-welcome_<version>_<arch>.deb from a
# Release build (tests off) in BUILD_DIR, default build/package, and prints
# its path.
#   ./package.sh [BUILD_DIR]
# Then: sudo apt-get install ./build/package/kestro-welcome_*.deb
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath -m "${1:-$here/build/package}")
cd "$here"
source scripts/ensure_packages.sh
ensure_packages

# What happens goes to stderr; stdout gets the package's path only.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKWS_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" >&2
out=$(cd "$build" && cpack -G DEB 2>&1) || { echo "$out" >&2; exit 1; }
# "CPack: - package: /path/kestro-welcome_1.0.0.85_amd64.deb generated."
deb=$(sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' <<<"$out")
[ -f "$deb" ] || { echo "$out" >&2; echo "package.sh: cpack made no package" >&2; exit 1; }
echo "$deb"
