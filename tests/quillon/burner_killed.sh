#!/usr/bin/env bash
# A burn killed in its middle (SIGKILL: a crash, or a user who kills it) on
# a virtual CD-RW: the next program finds the disc as a drive finds one that
# lost power mid-write, an open session holding the blocks that reached it,
# and can tell what it is, close that session, erase it and burn it again.
set -euo pipefail
bin=$1
source_dir=$2
work=$(mktemp -d)
trap 'kill -9 $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
export XDG_DATA_HOME=$work/data
export WNASPI32_REAL_DRIVES=0
export WNASPI32_VIRTUAL_POLLS=2
export WNASPI32_VIRTUAL_WRITERS="cd-rw=$work/disc"
unset WNASPI32_VIRTUAL_FAULTS WNASPI32_TRACE WNASPI32_DEBUG WNASPI32_VIRTUAL_LATENCY_US
quillon=$bin/quillon
source "$source_dir/tests/quillon/quillon_checks.sh"
writes() { cat "$work/trace" 2>/dev/null | grep -c 'EXEC \[2A' || true; }
# The blocks of the WRITE(10)s the trace shows done.
written() { awk '/EXEC \[2A/ && /status=01/ { sum += $(NF - 1) } END { print sum / 2048 }' "$work/trace"; }

"$quillon" register >/dev/null
mkdir "$work/src"
head -c $((4 * 1024 * 1024)) /dev/urandom >"$work/src/payload.bin"

# Every WRITE(10) takes 100 ms longer, so the burn is still writing when
# the third one is in the trace; it is killed there.
WNASPI32_VIRTUAL_FAULTS=slow=2A:100 WNASPI32_TRACE=$work/trace \
  "$quillon" burn "$work/src" >"$work/burn.out" 2>&1 &
burner=$!
for _ in $(seq 600); do (($(writes) >= 3)) && break; sleep 0.05; done
(($(writes) >= 3)) || fail "the burn wrote nothing: $(cat "$work/burn.out")"
kill -9 "$burner"
status=0
wait "$burner" || status=$?
[[ $status == 137 ]] || fail "the burn ended by itself ($status): $(cat "$work/burn.out")"
grep -q '^session=1 closed=no' "$work/disc/disc.state" || fail "no open session: $(cat "$work/disc/disc.state")"

# The next program: an incomplete disc, neither blank nor closed, whose
# open track holds every block that reached disc.img.
run 0 info
says "Disc Blank = No"
says "Disc Closed = No"
says "Disc Erasable = Yes"
blocks=$(($(stat -c %s "$work/disc/disc.img") / 2048))
((blocks >= $(written))) || fail "only $blocks of $(written) blocks reached the disc"
grep -q "^track=1 session=1 start=0 recorded=$blocks .*closed=no" "$work/disc/disc.state" ||
  fail "the track does not hold the $blocks blocks written: $(cat "$work/disc/disc.state")"

# A burn cannot add to the unfinished session: refused, the disc as it was.
before=$(cat "$work/disc/disc.state")
run 1 burn "$work/src"
says "holds an unfinished session"
says "quillon erase --writer 0"
says "quillon close --writer 0"
[[ $(cat "$work/disc/disc.state") == "$before" ]] || fail "the refused burn changed the disc: $(cat "$work/disc/disc.state")"

# The open session is closed on what it holds, the disc left open for
# another; a second close finds nothing to close and changes nothing.
run 0 close
says "Session closed"
grep -q "^session=1 closed=yes next=allowed" "$work/disc/disc.state" || fail "not closed: $(cat "$work/disc/disc.state")"
before=$(cat "$work/disc/disc.state")
run 1 close
says "has no open session"
[[ $(cat "$work/disc/disc.state") == "$before" ]] || fail "the second close changed the disc"

run 0 erase
says "Blank complete!"
run 0 info
says "Disc Blank = Yes"
run 0 burn "$work/src"
says "Burned Completed!"
/usr/bin/python3 "$source_dir/tests/iso/check_readers.py" "$work/disc/disc.img" "$work/src" >/dev/null ||
  fail "the disc burned after the erase does not read back"
echo "killed burn: ok"
