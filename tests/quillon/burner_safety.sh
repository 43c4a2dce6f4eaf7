#!/usr/bin/env bash
# quillon as a new user meets it, on virtual writers: help for every command;
# mistakes stopped before anything is written; the disc asked what it is
# first; progress that never runs backwards; Ctrl-C; one program per writer.
set -euo pipefail
bin=$1
source_dir=$2
work=$(mktemp -d)
trap 'kill -9 $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
export XDG_DATA_HOME=$work/data
export WNASPI32_REAL_DRIVES=0
export WNASPI32_VIRTUAL_POLLS=2
unset WNASPI32_VIRTUAL_FAULTS WNASPI32_TRACE WNASPI32_DEBUG
quillon=$bin/quillon
source "$source_dir/tests/quillon/quillon_checks.sh"
untouched() { ! grep -qs '^track=' "$1/disc.state" || fail "$1 was written: $(cat "$1/disc.state")"; }
# wait_for PATTERN FILE: until a line of FILE matches (30 s at most).
wait_for() {
  for _ in $(seq 600); do grep -qE -- "$1" "$2" && return 0; sleep 0.05; done
  fail "no '$1' in $2: $(cat "$2")"
}
# The numbers of "Phase N %" lines (a buffer's fill may follow) never
# decrease and no phase and number come twice; the read-back after the
# session is closed counts from 0 again.
monotonic() {
  awk 'match($0, / [0-9]+ %/) { n = substr($0, RSTART + 1) + 0; line = substr($0, 1, RSTART + RLENGTH)
       if ($1 == "Verifying" && !v) { v = 1; last = 0 }
       if (n < last || line == prev) bad = 1; last = n; prev = line }
       END { exit bad }' <<<"$1" || fail "progress ran backwards or repeated:
$1"
}
readers_agree() { /usr/bin/python3 "$source_dir/tests/iso/check_readers.py" "$1" "$2" >/dev/null || fail "readers: $1"; }

"$quillon" register >/dev/null

# Help: every command, asked three ways; mistakes named, with the usage.
for command in writers info burn erase format close eject shell register unregister; do
  run 0 help "$command"
  says "usage: quillon $command"
  says "Example"
  run 0 "$command" --help
  says "usage: quillon $command"
done
run 0 --help
says "130  cancelled"
says "quillon burn [--writer N]"
run 2 bunr
says "unknown command 'bunr'"
says "usage: quillon COMMAND"
run 2 burn --fast "$work"
says "unknown option '--fast' for burn"
says "usage: quillon burn"
run 2 erase --label X
says "unknown option '--label' for erase"
run 2 info --writer two
says "--writer takes a writer number from 0"

# Mistakes stop the burn before the writer is touched.
export WNASPI32_VIRTUAL_WRITERS="cd-r=$work/r"
src=$work/src
mkdir -p "$src/sub"
head -c 300000 /dev/urandom >"$src/a.bin"
printf 'hi\n' >"$src/sub/b.txt"
run 2 burn "$src" "$work/no/such"
says "$work/no/such: no such file or folder"
run 2 burn --label ABCDEFGHIJKLMNOP "$src"
says 'Invalid volume name: "ABCDEFGHIJKLMNOP" has 16 characters'
run 2 burn --dvd --multi "$src"
says "--multi is for CDs"
# Two entries that would land at the root under one name: the engine would
# keep only the later one.
mkdir -p "$work/twin/one/sub" "$work/twin/two/sub"
printf '1\n' >"$work/twin/one/notes.txt"
printf '2\n' >"$work/twin/two/notes.txt"
run 2 burn "$work/twin/one/notes.txt" "$work/twin/two/notes.txt"
says "$work/twin/two/notes.txt: lands at the disc's root as \"notes.txt\", like $work/twin/one/notes.txt"
rm "$work/twin/two/notes.txt"
run 2 burn "$work/twin/one" "$work/twin/two"
says "$work/twin/two/sub: lands at the disc's root as \"sub\""
# An entry the engine refuses (a name too long) stops it too, unless the rest is wanted.
odd=$work/odd
mkdir "$odd"
cp "$src/a.bin" "$odd/"
printf 'x\n' >"$odd/$(printf 'n%.0s' {1..120})"  # a name of 120 bytes is burned
# The engine names each entry it refuses with its own reason.
mkfifo "$odd/pipe"
ln -s "$work/nowhere" "$odd/dangling"
run 2 burn "$odd"
says "$odd/pipe: not a file whose contents can be burned"
says "$odd/dangling: a link to \"$work/nowhere\", which is not there"
says "--skip-unreadable burns the rest"
grep -qF "Probably the" <<<"$out" && fail "the engine's bare text instead of the reason: $out"
untouched "$work/r"
run 0 burn --skip-unreadable "$odd"
says "left out: $odd/pipe"
rm "$odd/pipe" "$odd/dangling"
readers_agree "$work/r/disc.img" "$odd"

# The disc is asked what it is before anything is written.
run 1 burn "$src"
says "The disc in writer 0 is closed: nothing more can be written to it."
export WNASPI32_VIRTUAL_WRITERS="cd-r=$work/small;dvd+rw=$work/plusrw;cd-rw=$work/rw"
run 0 info
says "Disc Free Space = 703 MB"
truncate -s 803M "$work/huge.bin"
run 1 burn "$work/huge.bin"
says "the files need 804 MB but the disc in writer 0 has 703 MB free"
untouched "$work/small"
# A compilation that fills the disc to its last block is the engine's to
# burn (its first write fails here, so that the test writes nothing).
truncate -s $((359974 * 2048)) "$work/exact.bin"  # and 26 blocks of metadata
WNASPI32_VIRTUAL_FAULTS=fail=2A@1 run 1 burn "$work/exact.bin"
says "Unable to burn image."
says "The writer refused the write at block 0: write error (03/0C/00). Nothing was written: the disc is as it was."
run 1 burn --writer 1 --dvd --no-format "$src"
says "is not formatted. Format it with 'quillon format --writer 1'"
run 2 burn --writer 1 "$src"
says "is a DVD+RW: burn it with --dvd"
run 0 burn --writer 1 --dvd "$src"
says "formatting it first"
monotonic "$(grep '^Formatting' <<<"$out")"
monotonic "$(sed -n '/^Preparing/,$p' <<<"$out")"
says "Closing the session 100 %"
grep -qE '^Writing [0-9]+ %  buffer [0-9]+%$' <<<"$out" || fail "the buffer's fill is not shown: $out"
readers_agree "$work/plusrw/disc.img" "$src"
# A chosen DVD speed is asked for: the fastest listed not above 4x (5540
# kB/s, 15A4h), for a second of writing (1000 ms, 3E8h).
WNASPI32_TRACE=$work/speed.trace run 0 burn --writer 1 --dvd --speed 4x "$src"
grep -qiE 'data=\[.*00 00 15 a4 00 00 03 e8\]' "$work/speed.trace" || fail "no SET STREAMING at 4x: $(grep -i ' B6 ' "$work/speed.trace")"
run 2 burn --speed fast "$src"
says "--speed takes a speed factor"
# Media the engine does not write are named before anything is written.
for item in "bd-r||is a BD" "bd-r|--dvd|is a BD" "bd-re|--dvd|is a BD" "dvd-rw-ro|--dvd|restricted overwrite"; do
  IFS='|' read -r medium option named <<<"$item"
  WNASPI32_VIRTUAL_WRITERS="$medium=$work/$medium" run 1 burn $option "$src"
  says "$named"
  untouched "$work/$medium"
done
run 1 erase --writer 1
says "is a DVD+RW: it is not erased but formatted, with 'quillon format --writer 1'"
run 0 burn --writer 2 "$src"
run 1 burn --writer 2 "$src"
says "It is rewritable: 'quillon erase --writer 2'"

# Ctrl-C mid-burn: the session is closed with the files written so far; the
# terminal closing while it closes (SIGHUP) is answered and waited out.
big=$work/big
mkdir "$big"
for i in 1 2 3 4 5 6 7 8; do head -c 524288 /dev/urandom >"$big/file$i.bin"; done
export WNASPI32_VIRTUAL_WRITERS="cd-r=$work/cancel"
WNASPI32_VIRTUAL_FAULTS=slow=2A:40,slow=5B:1500 "$quillon" burn "$big" >"$work/cancel.out" 2>"$work/cancel.err" &
pid=$!
wait_for '^Writing [4-8][0-9] %' "$work/cancel.out"
kill -INT "$pid"
wait_for '^Closing the session' "$work/cancel.out"
kill -HUP "$pid"
status=0
wait "$pid" || status=$?
[[ $status == 130 ]] || fail "cancelled burn exited $status: $(cat "$work/cancel.out" "$work/cancel.err")"
grep -qE '^Burn cancelled: the session was closed with [0-9.]+ MB written\.$' "$work/cancel.out" ||
  fail "cancel: $(cat "$work/cancel.out")"
grep -q "closing cannot be interrupted without leaving the disc unreadable" "$work/cancel.err" ||
  fail "second Ctrl-C: $(cat "$work/cancel.err")"
monotonic "$(cat "$work/cancel.out")"
grep -q '^session=1 closed=yes' "$work/cancel/disc.state" || fail "session not closed: $(cat "$work/cancel/disc.state")"
recorded=$(sed -n 's/^track=1 .*recorded=\([0-9]*\) .*/\1/p' "$work/cancel/disc.state")
/usr/bin/python3 - "$work/cancel/disc.img" "$big" "$recorded" <<'EOF' || fail "the cancelled session does not read back"
import io, os, sys
import pycdlib
image, source, recorded = sys.argv[1], sys.argv[2], int(sys.argv[3])
iso = pycdlib.PyCdlib()
iso.open(image)
whole = cut = 0
for name in sorted(os.listdir(source)):
    path = "/" + name
    record = iso.get_record(joliet_path=path)
    size = os.path.getsize(os.path.join(source, name))  # readers clip a file at the image's end
    if record.extent_location() + (size + 2047) // 2048 > recorded:
        cut += 1
        continue
    data = io.BytesIO()
    iso.get_file_from_iso_fp(data, joliet_path=path)
    assert data.getvalue() == open(os.path.join(source, name), "rb").read(), name
    whole += 1
print("cancelled burn: %d files whole, %d cut off" % (whole, cut))
sys.exit(0 if whole and cut else 1)
EOF

# A file that vanishes while the burn writes: its place holds zeros and the
# burn is not passed off as whole.
vanish=$work/vanish
mkdir "$vanish"
head -c 2000000 /dev/urandom >"$vanish/a.bin"
printf 'gone\n' >"$vanish/z.txt"
# A small read-ahead keeps the reader near the writer, so the file is read
# after it is gone.
QUILLON_FIFO_KIB=64 WNASPI32_VIRTUAL_WRITERS="cd-r=$work/vanished" WNASPI32_VIRTUAL_FAULTS=slow=2A:40 \
  "$quillon" burn "$vanish" >"$work/vanish.out" 2>&1 &
pid=$!
wait_for '^Writing' "$work/vanish.out"
rm "$vanish/z.txt"
status=0
wait "$pid" || status=$?
[[ $status == 1 ]] || fail "a burn whose file vanished exited $status: $(cat "$work/vanish.out")"
grep -q 'z.txt" while burning: its place on the disc holds zeros' "$work/vanish.out" ||
  fail "vanished file: $(cat "$work/vanish.out")"
! grep -q 'Burned Completed!' "$work/vanish.out" || fail "vanished file: $(cat "$work/vanish.out")"

# A file that shrinks while the burn writes fails it, and the reason names
# the file and what the disc holds.
shrink=$work/shrink
mkdir "$shrink"
head -c 4000000 /dev/urandom >"$shrink/a.bin"
QUILLON_FIFO_KIB=64 WNASPI32_VIRTUAL_WRITERS="cd-r=$work/shrunk" WNASPI32_VIRTUAL_FAULTS=slow=2A:40 \
  "$quillon" burn "$shrink" >"$work/shrink.out" 2>&1 &
pid=$!
wait_for '^Writing' "$work/shrink.out"
truncate -s 100000 "$shrink/a.bin"
status=0
wait "$pid" || status=$?
[[ $status == 1 ]] || fail "a burn whose file shrank exited $status: $(cat "$work/shrink.out")"
grep -q 'a.bin" ended before its size while it was burned (it shrank). The session was closed with' \
  "$work/shrink.out" || fail "shrunk file: $(cat "$work/shrink.out")"

# A file whose size reads as 0 over contents (/proc) would come back empty:
# it is refused before anything is written, and named.
WNASPI32_VIRTUAL_WRITERS="cd-r=$work/procdisc" run 2 burn /proc/cpuinfo
says "/proc/cpuinfo: its size reads as 0 but it has contents"
untouched "$work/procdisc"

# A file another program holds locked is read like any other: a burner
# reads, and never keeps the user's files from other programs.
held=$work/held
mkdir "$held"
head -c 300000 /dev/urandom >"$held/held.bin"
flock "$held/held.bin" sleep 60 &
holder=$!
sleep 0.2
WNASPI32_VIRTUAL_WRITERS="cd-r=$work/helddisc" run 0 burn "$held"
kill "$holder"
says "Burned Completed!"
readers_agree "$work/helddisc/disc.img" "$held"

# One program per writer: a second burn is refused at once and the first
# disc reads back whole.
export WNASPI32_VIRTUAL_WRITERS="cd-rw=$work/shared"
WNASPI32_VIRTUAL_FAULTS=slow=2A:2 "$quillon" burn "$big" >"$work/first.out" 2>&1 &
pid=$!
wait_for '^Writing' "$work/first.out"
started=$(date +%s%N)
run 1 burn "$src"
elapsed_ms=$((($(date +%s%N) - started) / 1000000))
says "writer 0 is in use by another program"
((elapsed_ms < 1000)) || fail "the second burn was refused after $elapsed_ms ms"
run 1 eject
says "writer 0 is in use by another program"
wait "$pid" || fail "the first burn failed: $(cat "$work/first.out")"
readers_agree "$work/shared/disc.img" "$big"
# Another program takes the writer after quillon found it free, before the
# burn's first write, and gives it back before that burn has failed: the
# refusal itself says the writer is in use.
export WNASPI32_VIRTUAL_WRITERS="cd-r=$work/raced"
WNASPI32_VIRTUAL_FAULTS=slow=2A:2000 "$quillon" burn "$src" >"$work/loser.out" 2>&1 &
pid=$!
wait_for '^Preparing' "$work/loser.out"
flock -x "$work/raced/writer.lock" sleep 3
wait "$pid" && fail "the burn that lost its writer succeeded: $(cat "$work/loser.out")"
grep -q "writer 0 is in use by another program" "$work/loser.out" || fail "loser: $(cat "$work/loser.out")"
untouched "$work/raced"
export WNASPI32_VIRTUAL_WRITERS="cd-rw=$work/shared"

# A program that dies mid-burn leaves the writer free; an erase cannot be
# interrupted (here by a plain kill, SIGTERM) and shows 100 % once.
run 0 erase
WNASPI32_VIRTUAL_FAULTS=slow=2A:30 "$quillon" burn "$big" >"$work/killed.out" 2>&1 &
pid=$!
wait_for '^Writing' "$work/killed.out"
{ kill -KILL "$pid" && wait "$pid"; } 2>/dev/null || true
run 0 info
says "Disc Blank = No"
WNASPI32_VIRTUAL_POLLS=25 "$quillon" erase >"$work/erase.out" 2>"$work/erase.err" &
pid=$!
wait_for '^Erasing' "$work/erase.out"
kill -TERM "$pid"
wait "$pid" || fail "interrupted erase: $(cat "$work/erase.out" "$work/erase.err")"
grep -q "an erase cannot be interrupted" "$work/erase.err" || fail "erase Ctrl-C: $(cat "$work/erase.err")"
[[ $(grep -c '^Erasing 100 %$' "$work/erase.out") == 1 ]] || fail "erase: $(cat "$work/erase.out")"
grep -qx 'Blank complete!' "$work/erase.out" || fail "erase: $(cat "$work/erase.out")"
# Ctrl-C while a burn formats its DVD+RW first: told that quillon ends when
# the format has, it ends there and burns nothing.
WNASPI32_VIRTUAL_WRITERS="dvd+rw=$work/plusrw2" WNASPI32_VIRTUAL_POLLS=25 \
  "$quillon" burn --dvd "$src" >"$work/format.out" 2>"$work/format.err" &
pid=$!
wait_for '^Formatting' "$work/format.out"
kill -INT "$pid"
status=0
wait "$pid" || status=$?
[[ $status == 130 ]] || fail "burn interrupted while formatting exited $status: $(cat "$work/format.out" "$work/format.err")"
grep -q "nothing was burned" "$work/format.err" || fail "format Ctrl-C: $(cat "$work/format.err")"
grep -q '^formatted=yes' "$work/plusrw2/disc.state" || fail "not formatted: $(cat "$work/plusrw2/disc.state")"
[[ ! -s $work/plusrw2/disc.img ]] || fail "a burn followed the interrupted format"

# No writer: what to check; an unusable entry is named once.
WNASPI32_VIRTUAL_WRITERS= run 1 writers
says "no writer found"
says "group 'cdrom'"
says "WNASPI32_VIRTUAL_WRITERS"
WNASPI32_VIRTUAL_WRITERS="floppy=$work/f;cd-r=$work/w" run 0 writers
[[ $(grep -c 'floppy' <<<"$out") == 1 ]] || fail "the unusable entry: $out"
says 'WNASPI32_VIRTUAL_WRITERS: "floppy='

echo "quillon burner safety: ok"
