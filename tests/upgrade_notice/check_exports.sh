#!/usr/bin/env bash
# libnovaleaf.so exports the seven entry points and nothing else.
set -euo pipefail
expected="ShowUpgradeNotice free_dll get_information_fromhtml init_dll is_done showdialog start_download"
actual=$(nm -D --defined-only "$1" | awk '{print $3}' | LC_ALL=C sort | xargs)
if [[ "$actual" != "$expected" ]]; then
  echo "exported: $actual"
  echo "expected: $expected"
  exit 1
fi
