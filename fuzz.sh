#!/usr/bin/env bash
# Builds the fuzz targets with clang (address and undefined-behaviour
# sanitizers) and runs each for SECONDS (default 60) on a corpus that starts
# from pictures the project makes itself.
#   ./fuzz.sh [SECONDS]
# A crash stops the run with the input saved in build/fuzz/crashes/<target>/;
# copy it into fuzz/regressions/<target>/ together with the fix.
set -euo pipefail
seconds=${1:-60}
cd "$(dirname "$0")"
source scripts/ensure_packages.sh
ensure_packages clang libclang-rt-14-dev

build=build/fuzz
# Qt is on for the import target; only the fuzzers and their seeds are built.
cmake --preset fuzz >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target fuzzers

corpus="$build/corpus"
# The seeds' maker is no fuzz target: its leak check at exit is left out, as
# that runtime misreads the thread-local blocks of libraries Qt loads later
# (see test.sh) and crashes in its own scan.
[ -d "$corpus/import" ] || ASAN_OPTIONS=intercept_tls_get_addr=0:detect_leaks=0 "$build/fuzz/make_seeds" "$corpus"

# One target per core: each runs on one thread for its SECONDS of wall time,
# so two cores fuzz two targets in the time of one.
parallel=$(nproc 2>/dev/null || echo 2)
targets=("$build"/fuzz/*_fuzz)

fuzz_one() {
  local fuzzer=$1 target
  target=$(basename "$fuzzer" _fuzz)
  mkdir -p "$corpus/$target" "$build/crashes/$target"
  # A single allocation of 512 MiB or more is a finding: the import decodes
  # at most 256 MiB, so more means a decompression bomb got through. One
  # thread for libimagequant: its OpenMP threads would only wait on each other.
  # intercept_tls_get_addr=0 as in ./test.sh: the runtime misreads the
  # thread-local blocks of libjpeg, loaded by Qt's JPEG reader. The system
  # libraries' leaks (fontconfig's, for an SVG's text) are those the tests ignore.
  OMP_NUM_THREADS=1 LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp" ASAN_OPTIONS=detect_leaks=1:intercept_tls_get_addr=0 "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=512 \
    -artifact_prefix="$build/crashes/$target/" -print_final_stats=1 "$corpus/$target" \
    fuzz/regressions/"$target" 2>"$build/$target.log"
}

# Waits for the target started as number $1 and reports it, in the order started.
status=0
pids=()
report() {
  local target
  target=$(basename "${targets[$1]}" _fuzz)
  echo "=== $target: ${seconds}s ==="
  if ! wait "${pids[$1]}"; then
    tail -n 40 "$build/$target.log" >&2
    status=1
  fi
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ +DONE)' "$build/$target.log" || true
}

for i in "${!targets[@]}"; do
  [ "$i" -lt "$parallel" ] || report $((i - parallel))
  fuzz_one "${targets[$i]}" &
  pids[i]=$!
done
first=$((${#targets[@]} - parallel))
for ((i = first < 0 ? 0 : first; i < ${#targets[@]}; i++)); do
  report "$i"
done
exit "$status"
