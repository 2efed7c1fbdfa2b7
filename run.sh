#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure_packages.sh
ensure_packages

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$(nproc 2>/dev/null || echo 2)"

echo
echo "Built. The steps that turn a 720 x 576, 8-bit bitmap into receiver update images:"
echo "  convbmp (bitmap -> colour table + raw picture)"
