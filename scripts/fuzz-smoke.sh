#!/usr/bin/env bash
# Builds the fuzz targets of the file readers with clang and libFuzzer in
# build-fuzz/ and runs each for a short while on the seed corpus in
# fuzz/corpus/<reader>/. New inputs found go to a scratch folder, not into
# the repository.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${LCZS_FUZZ_SECONDS:-15}
build=build-fuzz
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLCZS_FUZZ=ON -DLCZS_TESTS=OFF \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
targets=(fuzz_xlsx fuzz_xlsx_parts fuzz_csv)
cmake --build "$build" --target "${targets[@]}" -j2 >/dev/null
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in "${targets[@]}"; do
  reader=${target#fuzz_}
  mkdir -p "$scratch/$reader"
  echo "fuzz-smoke: $target for ${seconds}s" >&2
  "$build/fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
    -print_final_stats=0 -artifact_prefix="$build/$target-" "$scratch/$reader" "fuzz/corpus/$reader" 2>"$scratch/$reader.log" || {
    tail -50 "$scratch/$reader.log" >&2
    exit 1
  }
done
echo "fuzz-smoke: no crash" >&2
