#!/usr/bin/env bash
# Builds and runs every test twice: a normal build with warnings as errors,
# and a build with AddressSanitizer and UndefinedBehaviorSanitizer; then
# builds the install recipe and the Debian package as a user would, builds
# the browser page and tests it in chromium, and runs each fuzz target for a
# short while.
#   ./test.sh           everything, as CI runs it
#   ./test.sh --quick   the normal build and its tests only, for the edit-test loop
# Each stage is timed; a table of wall and CPU time ends the run.
set -euo pipefail
cd "$(dirname "$0")"
quick=false
case "${1:-}" in
  "") ;;
  --quick) quick=true ;;
  *)
    echo "usage: ./test.sh [--quick]" >&2
    exit 2
    ;;
esac
source scripts/ensure_packages.sh
source scripts/stage_times.sh
# The compiler cache, the formatter and jq (a reader of the command line's
# JSON in its tests); for the full run also the browser page's compiler and
# the browser that tests it (and Pillow, which writes its GIF and WebP
# pictures), all Debian's.
if $quick; then
  ensure_packages clang-format ccache jq
else
  ensure_packages clang-format ccache jq emscripten chromium chromium-driver python3-selenium python3-pil
fi
# A failed stage still shows how long the stages before it took.
trap kws_stage_table EXIT

jobs=$(nproc 2>/dev/null || echo 2)

# The formatting every source in src/ and tests/ keeps (.clang-format).
check_format() {
  git ls-files -z 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' | xargs -0 clang-format --dry-run --Werror && return 0
  echo "clang-format finds the files above formatted otherwise; run: clang-format -i <file>" >&2
  return 1
}
kws_stage "clang-format" check_format

# Every include keeps to the layers, lowest first (scripts/layers.txt).
kws_stage "layer check" python3 scripts/check_layers.py

build_tree() {
  local preset=$1 dir=$2
  echo "=== $dir ==="
  cmake --preset "$preset" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

run_tests() {
  local dir=$1
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" | tee "$dir/ctest.log"
  # "100% tests passed, 0 tests failed out of 152"
  local total
  total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$dir/ctest.log" | tail -n 1)
  passed_total=$((passed_total + ${total:-0}))
}
passed_total=0

# For the sanitizer build and its tests; the build runs its own programs too
# (icons, manual pages). intercept_tls_get_addr=0: this sanitizer runtime
# misreads the thread-local blocks of libraries loaded later (libjpeg's, once
# Qt's JPEG reader decodes at a reduced scale) and its leak check then
# crashes at the program's end.
sanitized() {
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:intercept_tls_get_addr=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp" "$@"
}

# The README's install recipe as a user runs it (Release, tests off), and
# the Debian package made from that build. Warnings are errors here, passed on
# this command line only: the preset a user builds with never has -Werror, so
# a newer compiler's warnings cannot stop an install. The setting is taken
# back afterwards, so the folder is the user's recipe build again.
build_recipe() {
  echo "=== build/recipe: the install recipe and the Debian package ==="
  cmake --preset recipe -DKWS_WERROR=ON >/dev/null
  cmake --build build/recipe -j "$jobs"
}
check_package() {
  local deb
  deb=$(./package.sh build/recipe)
  bash tests/install/package_test.sh "$deb" "$(build/recipe/bin/kestro-welcome-cli --version | awk '{ print $2 }')"
  cmake --preset recipe -DKWS_WERROR=OFF >/dev/null
}

kws_stage "build/release: build" build_tree test build/release
kws_stage "build/release: tests" run_tests build/release
if ! $quick; then
  kws_stage "build/asan: build" sanitized build_tree sanitize build/asan
  kws_stage "build/asan: tests" sanitized run_tests build/asan
  kws_stage "build/recipe: build" build_recipe
  kws_stage "build/recipe: Debian package" check_package
  # The browser page, built with warnings as errors and tested in chromium
  # against the command line built above.
  kws_stage "build/web: page and chromium test" bash tests/web/web_test.sh --werror
  # Each fuzz target for a short while, so that they keep building and running.
  kws_stage "build/fuzz: fuzz targets, 20 s each" ./fuzz.sh 20
fi

trap - EXIT
kws_stage_table
echo "tests: $passed_total passed, 0 failed"
