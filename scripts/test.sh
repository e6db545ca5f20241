#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test with CTest.
#   scripts/test.sh             normal build in build/
#   scripts/test.sh --sanitize  AddressSanitizer + UBSan build in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build_dir=build
extra=()
if [[ "${1:-}" == "--sanitize" ]]; then
  build_dir=build-asan
  extra=(-DVARN_SANITIZE=ON -DVARN_BUILD_BENCH=OFF)
  # glibc's own allocations that LeakSanitizer cannot see freed.
  export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp"
fi
cmake -S . -B "$build_dir" -DVARN_WERROR=ON -DVARN_BUILD_TESTS=ON "${extra[@]}" >/dev/null
cmake --build "$build_dir" -j"$(nproc)"
cd "$build_dir"
ctest --output-on-failure -j"$(nproc)" --timeout 600
