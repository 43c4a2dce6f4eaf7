#!/usr/bin/env bash
# Builds everything and runs every test: a normal build, then every test
# again under AddressSanitizer and UndefinedBehaviorSanitizer, the threaded
# parts under ThreadSanitizer, and a short fixed-time fuzz of the
# previous-session import (the one reader of untrusted discs).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 600

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=ON
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 900

# Threads: the control's jobs and messages, the drive's completion waits,
# the ASPI layer's shared discs, and jobs end to end on virtual writers
# (hosts that go away while one runs included).
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLON_TSAN=ON
cmake --build build-tsan -j "$jobs" --target platform_tests drive_tests control_tests aspi_tests e2e_tests wnaspi32 scrivo
for suite in platform_tests drive_tests control_tests aspi_tests e2e_tests; do
  TSAN_OPTIONS=halt_on_error=1 "build-tsan/bin/$suite" --gtest_brief=1
done

tests/fuzz/run_import_fuzz.sh build-fuzz "${QUILLON_FUZZ_SECONDS:-45}"
