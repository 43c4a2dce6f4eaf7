#!/usr/bin/env bash
# Installs what is missing, builds everything into build/ and registers the
# engine control for this user.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
./build/bin/quillon register
