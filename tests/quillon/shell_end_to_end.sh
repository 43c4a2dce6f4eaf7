#!/usr/bin/env bash
# quillon register/unregister and the shell, as a user runs them.
set -euo pipefail
bin=$1
export XDG_DATA_HOME=$(mktemp -d)
export WNASPI32_REAL_DRIVES=0  # the counts below are the default virtual writer's
trap 'rm -rf "$XDG_DATA_HOME"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# Not registered yet: the shell says so.
out=$(printf 'MediaCount\n' | "$bin/quillon" shell || true)
grep -q "class not registered" <<<"$out" || fail "unregistered control not reported: $out"

"$bin/quillon" register >/dev/null
grep -q 'SCRIVO.ScrivoCtrl.1' "$XDG_DATA_HOME/quillon/registry" || fail "ProgID not registered"

# Result lines only (events '@', engine texts '#', message boxes '*' aside).
got=$(printf 'MediaCount\nInitControl\nVolumeLabel = "NEW"\nVolumeLabel\nHAnum = 3\n' |
      "$bin/quillon" shell | grep -v '^[#*@]')
want=$'= 0\nok\nok\n= "NEW"\n! set not supported (read-only property)'
[[ "$got" == "$want" ]] || fail "shell printed:
$got
expected:
$want"

got=$(printf 'AboutBox\nNoSuchMember\nSetWriteSpeed 0\nwait Finished 0.1\n' | "$bin/quillon" shell)
want=$'ok\n* About Scrivo Control: Scrivo ActiveX Control, Version 2.0\n! unknown member: NoSuchMember\n= false\n! timeout'
[[ "$got" == "$want" ]] || fail "shell printed:
$got
expected:
$want"

"$bin/quillon" unregister >/dev/null
! grep -q 'SCRIVO.ScrivoCtrl.1' "$XDG_DATA_HOME/quillon/registry" || fail "ProgID still registered"
echo "quillon shell end to end: ok"
