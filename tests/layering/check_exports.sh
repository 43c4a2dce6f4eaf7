#!/usr/bin/env bash
# A shared library exports exactly the named entry points:
#   check_exports.sh LIBRARY NAME...
set -euo pipefail
library=$1
shift
expected=$(printf '%s\n' "$@" | LC_ALL=C sort | xargs)
actual=$(nm -D --defined-only "$library" | awk '{print $3}' | LC_ALL=C sort | xargs)
if [[ "$actual" != "$expected" ]]; then
  echo "exported: $actual"
  echo "expected: $expected"
  exit 1
fi
