#!/usr/bin/env bash
# Builds and runs every test twice: a normal build with warnings as errors,
# and a build with AddressSanitizer and UndefinedBehaviorSanitizer; then
# builds the install recipe and the Debian package as a user would, and
# runs each fuzz target for a short while.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure_packages.sh
ensure_packages

jobs=$(nproc 2>/dev/null || echo 2)

run_build() {
  local dir=$1; shift
  echo "=== $dir ==="
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" | tee "$dir/ctest.log"
  # "100% tests passed, 0 tests failed out of 152"
  local total
  total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$dir/ctest.log" | tail -n 1)
  passed_total=$((passed_total + ${total:-0}))
}
passed_total=0

run_build build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKWS_WERROR=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_build build/asan -DCMAKE_BUILD_TYPE=Debug -DKWS_SANITIZE=ON -DKWS_WERROR=ON

# The README's install recipe as a user runs it (Release, tests off, no
# -Werror), and the Debian package made from that build.
echo "=== build/recipe: the install recipe and the Debian package ==="
cmake -S . -B build/recipe -G Ninja -DCMAKE_BUILD_TYPE=Release -DKWS_BUILD_TESTS=OFF >/dev/null
cmake --build build/recipe -j "$jobs"
deb=$(./package.sh build/recipe)
bash tests/install/package_test.sh "$deb" "$(build/recipe/bin/kestro-welcome-cli --version | awk '{ print $2 }')"

# Each fuzz target for a short while, so that they keep building and running.
./fuzz.sh 20

echo "tests: $passed_total passed, 0 failed"
