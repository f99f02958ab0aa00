#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every test: a short fuzzing run of the
# file readers, the Windows add-in under Wine (LCZS_SKIP_WIN=1 leaves it out),
# and the test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
build=${LCZS_TEST_BUILD:-build-test}
# ccache, where installed, makes rebuilds in other checkouts of the tree cheap.
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DLCZS_SANITIZE=ON -DLCZS_TESTS=ON "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
if [ -x scripts/fuzz-smoke.sh ]; then
  bash scripts/fuzz-smoke.sh
fi
if [ "${LCZS_SKIP_WIN:-0}" != 1 ] && [ -x scripts/test-win.sh ]; then
  bash scripts/test-win.sh
fi
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
