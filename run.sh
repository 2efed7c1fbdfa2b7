#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job: turns a picture
# into the six receiver update images.
#   ./run.sh            converts the built-in 720 x 576 sample picture
#   ./run.sh PICTURE    converts your own 720 x 576, 8-bit bitmap
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
picture=""
if [ $# -gt 0 ]; then
  if [ ! -f "$1" ]; then
    echo "run.sh: no such picture: $1" >&2
    exit 1
  fi
  picture="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
fi
cd "$here"
source scripts/ensure_packages.sh
ensure_packages

# Only the two programs: the tests and benchmarks are ./test.sh's. Warnings
# never stop this build.
mkdir -p build
echo "Configuring the build in build/release..."
if ! cmake --preset run >build/run-configure.log 2>&1; then
  cat build/run-configure.log >&2
  echo "Configuring failed; the output is in build/run-configure.log" >&2
  exit 1
fi
echo "Building the window and the command line (the first build takes a few minutes)..."
if ! NINJA_STATUS="[%f/%t] " cmake --build build/release -j "$(nproc 2>/dev/null || echo 2)" \
    --target kestro-welcome kestro-welcome-cli; then
  echo "The build failed; the compiler's messages are above." >&2
  exit 1
fi

cli=build/release/bin/kestro-welcome-cli
if [ -z "$picture" ]; then
  picture="$here/build/sample.bmp"
  "$cli" sample "$picture"
fi

echo "Converting $picture"
output="$here/build/release/bin/Output"
# Images of the same names from an earlier run are older than this mark:
# only what this run wrote is listed.
mark="$(mktemp "$here/build/run-started.XXXXXX")"
trap 'rm -f "$mark"' EXIT
status=0
"$cli" make "$picture" || status=$?

base="$(basename "$picture")"
base="${base%.*}"
echo
if [ "$status" -eq 0 ]; then
  echo "Update images in $output:"
else
  echo "No set of update images was made. What this run wrote before it failed, not to be flashed:"
fi
found=0
for f in "$output/${base}"_*_welcome.img; do
  [ -f "$f" ] && [ "$f" -nt "$mark" ] || continue
  printf '  %-45s %8d bytes\n' "$(basename "$f")" "$(stat -c %s "$f")"
  found=$((found + 1))
done
[ "$found" -gt 0 ] || echo "  (none)"
echo "Activity log: $here/build/release/bin/Log/KestroWelcomeScreen.log"
echo
echo "To start the window: $here/build/release/bin/kestro-welcome [PICTURE]"
echo "To install it with a menu entry: see \"Installing\" in README.md (./package.sh makes a .deb)."
exit "$status"
