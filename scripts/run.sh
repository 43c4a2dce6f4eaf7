#!/usr/bin/env bash
# The main job: builds and registers everything, then lists the CD/DVD
# writers the engine finds (the built-in virtual writer among them).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh
printf 'InitControl\nMediaCount\n' | ./build/bin/quillon shell
