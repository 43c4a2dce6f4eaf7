#!/usr/bin/env bash
# Builds quillon and runs the benchmark: ./bench/run.sh [--quick] [--runs N]
# [--trees NAME,...] [--no-growth] [--work DIR]. Prints Markdown tables.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ ! -f build/build.ninja ]]; then
  ./scripts/build.sh >/dev/null
fi
cmake --build build --target quillon scrivo wnaspi32 >/dev/null
exec python3 bench/bench.py "$@"
