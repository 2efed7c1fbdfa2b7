#!/usr/bin/env bash
# Builds and runs every test twice: a normal build with warnings as errors,
# and a build with AddressSanitizer and UndefinedBehaviorSanitizer; then
# builds the install recipe and the Debian package as a user would, builds
# the browser page and tests it in chromium, and runs each fuzz target for a
# short while.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure_packages.sh
# The compiler cache, the browser page's compiler and the browser that tests
# it, all Debian's.
ensure_packages clang-format ccache emscripten chromium chromium-driver python3-selenium jq

jobs=$(nproc 2>/dev/null || echo 2)

# The formatting every source in src/ and tests/ keeps (.clang-format).
if ! git ls-files -z 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' | xargs -0 clang-format --dry-run --Werror; then
  echo "clang-format finds the files above formatted otherwise; run: clang-format -i <file>" >&2
  exit 1
fi

# Every include keeps to the layers, lowest first (scripts/layers.txt).
python3 scripts/check_layers.py

run_build() {
  local preset=$1 dir=$2
  echo "=== $dir ==="
  cmake --preset "$preset" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" | tee "$dir/ctest.log"
  # "100% tests passed, 0 tests failed out of 152"
  local total
  total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$dir/ctest.log" | tail -n 1)
  passed_total=$((passed_total + ${total:-0}))
}
passed_total=0

run_build test build/release
# intercept_tls_get_addr=0: this sanitizer runtime misreads the thread-local
# blocks of libraries loaded later (libjpeg's, once Qt's JPEG reader decodes
# at a reduced scale) and its leak check then crashes at the program's end.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:intercept_tls_get_addr=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp" run_build sanitize build/asan

# The README's install recipe as a user runs it (Release, tests off), and
# the Debian package made from that build. Warnings are errors here, passed on
# this command line only: the preset a user builds with never has -Werror, so
# a newer compiler's warnings cannot stop an install. The setting is taken
# back afterwards, so the folder is the user's recipe build again.
echo "=== build/recipe: the install recipe and the Debian package ==="
cmake --preset recipe -DKWS_WERROR=ON >/dev/null
cmake --build build/recipe -j "$jobs"
deb=$(./package.sh build/recipe)
bash tests/install/package_test.sh "$deb" "$(build/recipe/bin/kestro-welcome-cli --version | awk '{ print $2 }')"
cmake --preset recipe -DKWS_WERROR=OFF >/dev/null

# The browser page, built with warnings as errors and tested in chromium
# against the command line built above.
bash tests/web/web_test.sh --werror

# Each fuzz target for a short while, so that they keep building and running.
./fuzz.sh 20

echo "tests: $passed_total passed, 0 failed"
