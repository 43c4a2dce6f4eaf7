#!/usr/bin/env bash
# Fuzzes the previous-session import for a fixed time:
#   tests/fuzz/run_import_fuzz.sh BUILD_DIR SECONDS
# Configures a clang build with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer in BUILD_DIR, writes the seed corpus there and
# runs the target. Exits non-zero when the fuzzer finds a crash, a leak, a
# hang (an input running longer than 30 s) or a memory blow-up.
set -euo pipefail

if [[ $# -ne 2 ]]; then
  echo "usage: $0 BUILD_DIR SECONDS" >&2
  exit 2
fi
build=$1
seconds=$2
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

cmake -S "$source_dir" -B "$build" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
  -DQUILLON_SANITIZE=ON -DQUILLON_FUZZ=ON >/dev/null
ninja -C "$build" -j2 import_fuzz import_fuzz_seeds

corpus="$build/import_corpus"
mkdir -p "$corpus"
"$build/bin/import_fuzz_seeds" "$corpus"
"$build/bin/import_fuzz" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$build/" "$corpus"
