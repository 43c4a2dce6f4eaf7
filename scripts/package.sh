#!/usr/bin/env bash
# Installs what is missing, builds the programs without the tests into
# build-deb/ and makes the Debian package there (CPack): prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build-deb -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_TESTS=OFF >/dev/null
cmake --build build-deb -j "$(nproc)" --target package >/dev/null
ls "$PWD"/build-deb/quillonburner_*.deb
