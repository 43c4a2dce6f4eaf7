#!/usr/bin/env bash
# Builds quillon and runs the benchmark: ./bench/run.sh [--quick] [--runs N]
# [--trees NAME,...] [--no-growth] [--work DIR]. Prints Markdown tables.
# ./bench/run.sh --stall runs the FIFO's benchmark instead (bench/stall.py);
# ./bench/run.sh --verify the read-back's speed against the burn's
# (bench/verify_speed.py).
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ ! -f build/build.ninja ]]; then
  ./scripts/build.sh >/dev/null
fi
cmake --build build --target quillon scrivo wnaspi32 >/dev/null
if [[ "${1:-}" == "--stall" ]]; then
  exec python3 bench/stall.py
fi
if [[ "${1:-}" == "--verify" ]]; then
  exec python3 bench/verify_speed.py
fi
exec python3 bench/bench.py "$@"
