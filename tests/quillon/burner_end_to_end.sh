#!/usr/bin/env bash
# quillon against virtual writers, as a user scripts it: the shell's answers
# about the writers and discs, then writers, info, burn (read back by the
# independent readers), a failing burn, erase, format and eject.
set -euo pipefail
bin=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME=$work/data
export WNASPI32_REAL_DRIVES=0
export WNASPI32_VIRTUAL_POLLS=2   # blanks and formats finish after two polls
unset WNASPI32_VIRTUAL_FAULTS WNASPI32_TRACE WNASPI32_DEBUG
quillon=$bin/quillon
fail() { echo "FAIL: $*"; exit 1; }
expect_same() {  # what want got
  [[ "$3" == "$2" ]] || fail "$1 printed:
$3
expected:
$2"
}
# Result lines of the shell only (events '@', engine texts '#', boxes '*' aside).
shell_results() { "$quillon" shell | grep -v '^[#*@]'; }
readers_agree() {  # image source
  /usr/bin/python3 "$source_dir/tests/iso/check_readers.py" "$1" "$2" ||
    fail "the readers do not find $2 on $1"
}

"$quillon" register >/dev/null

# The writers the layer was given, and none when the variable is empty.
got=$(printf 'InitControl\nMediaCount\n' |
      WNASPI32_VIRTUAL_WRITERS="cd-r=$work/D1;dvd+rw=$work/D2" shell_results)
expect_same "two virtual writers" $'ok\n= 2' "$got"
got=$(printf 'InitControl\nMediaCount\n' | WNASPI32_VIRTUAL_WRITERS= shell_results)
expect_same "no virtual writer" $'ok\n= 0' "$got"
# InitControl looks for drives plugged in since the program started.
printf 'InitControl\n' | WNASPI32_VIRTUAL_WRITERS= WNASPI32_TRACE="$work/rescan.trace" shell_results >/dev/null
grep -q 'RESCAN' "$work/rescan.trace" || fail "InitControl did not ask the layer to rescan"

# Writer 0 holds a CD-RW, writer 1 a DVD+RW, writer 2 a CD-R.
export WNASPI32_VIRTUAL_WRITERS="cd-rw=$work/rw;dvd+rw=$work/plusrw;cd-r=$work/r"
disc_answers() {  # writer
  printf 'InitControl\nMediaCount\nSetCurrentDevice %d\nMediaDesc\nIsCDRWriteSupport\nIsDiskBlank\nIsDiskErasable\nCDWriterUnitReady\n' "$1" |
    shell_results
}
expect_same "a blank CD-RW" $'ok\n= 3\nok\n= "QUILLON VIRTUAL DRIVE 0 1.0"\n= true\n= true\n= true\n= true' \
  "$(disc_answers 0)"
expect_same "a blank CD-R" $'ok\n= 3\nok\n= "QUILLON VIRTUAL DRIVE 2 1.0"\n= true\n= true\n= false\n= true' \
  "$(disc_answers 2)"

expect_same "quillon writers" $'[0.0.QUILLON VIRTUAL DRIVE 0 1.0\n[0.1.QUILLON VIRTUAL DRIVE 1 1.0\n[0.2.QUILLON VIRTUAL DRIVE 2 1.0' \
  "$("$quillon" writers)"
info=$("$quillon" info)
grep -qx 'CD-R Writer Support = Yes' <<<"$info" || fail "info: $info"
grep -qx 'Disc Blank = Yes' <<<"$info" || fail "info of a blank disc: $info"
grep -qx 'Disc Erasable = Yes' <<<"$info" || fail "info of a CD-RW: $info"

# A burn: folder contents at the root, a file under its bare name.
src=$work/src
mkdir -p "$src/sub folder" "$work/loose"
printf 'hello\n' >"$src/hello.txt"
head -c 2049 /dev/urandom >"$src/sub folder/odd.bin"
: >"$src/empty"
printf 'caf\xc3\xa9\n' >"$src/caf"$'\xc3\xa9'".txt"
head -c 5000 /dev/urandom >"$work/loose/loose.bin"
out=$("$quillon" burn --label QUILLON "$src" "$work/loose/loose.bin") || fail "burn failed: $out"
grep -qx 'Burned Completed!' <<<"$out" || fail "burn printed: $out"
grep -qx 'Closing the session 100 %' <<<"$out" || fail "burn showed no progress: $out"
expected=$work/expected
cp -rp "$src" "$expected"   # the readers compare the files' times too
cp -p "$work/loose/loose.bin" "$expected/"
readers_agree "$work/rw/disc.img" "$expected"
info=$("$quillon" info)
grep -qx 'Disc Blank = No' <<<"$info" || fail "info after the burn: $info"
grep -qx 'Disc Closed = Yes' <<<"$info" || fail "info after the burn: $info"
expect_same "a burned CD-RW" $'ok\n= 3\nok\n= "QUILLON VIRTUAL DRIVE 0 1.0"\n= true\n= false\n= true\n= true' \
  "$(disc_answers 0)"

# Names and dates: a tree of dated files with names that readers have
# stumbled on reads back in every reader with its names (as Joliet holds
# them) and times to the second, readable 8.3 names in ISO 9660, and a UUID.
(
  export WNASPI32_VIRTUAL_WRITERS="cd-r=$work/names"
  names=$work/names-src
  mkdir -p "$names/dir;1/deeper" "$names/Music"
  for name in README.txt README ... 'semi;1' notes 'notes;1' trailing. trailing.. .profile; do
    printf '%s\n' "$name" >"$names/$name"
  done
  printf 'tune\n' >"$names/Music/Song Title.mp3"
  printf 'inner\n' >"$names/dir;1/deeper/inner.txt"
  for long in "$(printf 'L%.0s' {1..100})" "$(printf 'M%.0s' {1..200}).txt" "$(printf 'α%.0s' {1..64})" \
              "$(printf '日%.0s' {1..34}).jpg" "$(printf 'Ж%.0s' {1..50})"; do
    printf 'long\n' >"$names/$long"
  done
  touch -d '2001-02-03 04:05:06 UTC' "$names/README.txt" "$names/Music/Song Title.mp3"
  touch -d '1999-12-31 23:59:59 UTC' "$names/dir;1/deeper/inner.txt" "$names/dir;1"
  out=$("$quillon" burn --label 'Über Disc' "$names") || fail "the burn of odd names failed: $out"
  readers_agree "$work/names/disc.img" "$names"
  [[ "$(isoinfo -J -i "$work/names/disc.img" -x /README.txt)" == README.txt ]] ||
    fail "isoinfo -J -x /README.txt does not extract the file"
  blkid -p -s UUID -o value "$work/names/disc.img" | grep -E '^[0-9]{4}(-[0-9]{2}){6}$' >/dev/null ||
    fail "blkid finds no UUID: $(blkid -p "$work/names/disc.img")"
  label=$(dd if="$work/names/disc.img" bs=1 skip=$((16 * 2048 + 40)) count=32 status=none)
  [[ "$label" == "_BER_DISC                       " ]] || fail "primary volume identifier: '$label'"
)

# Two multi-session burns onto a CD-R: the second session lists the files of
# both, read where it starts.
(
  export WNASPI32_VIRTUAL_WRITERS="cd-r=$work/multi"
  "$quillon" burn --multi "$src" >/dev/null || fail "first multi-session burn failed"
  # Reads of the first session that keep failing (the session query, a
  # folder) refuse the append before anything is written: built without
  # them, the new session would hide the disc's files.
  cp "$work/multi/disc.img" "$work/multi-before.img"
  for faults in notready=43@3,notready=43@4,notready=43@5 fail=28@4,fail=28@5,fail=28@6; do
    err=$(WNASPI32_VIRTUAL_FAULTS=$faults "$quillon" burn --multi "$work/loose/loose.bin" 2>&1) &&
      fail "an append whose reads failed ($faults) succeeded: $err"
    grep -q 'The files already on the disc could not be read: .* Nothing was written' <<<"$err" ||
      fail "an append whose reads failed ($faults): $err"
    cmp -s "$work/multi/disc.img" "$work/multi-before.img" || fail "the refused append ($faults) wrote"
  done
  # One failed read is tried again: the append goes on with every file.
  WNASPI32_VIRTUAL_FAULTS=notready=28@4 "$quillon" burn --multi "$work/loose/loose.bin" >/dev/null ||
    fail "second multi-session burn failed"
  second=$(sed -n 's/^track=2 .*start=\([0-9]*\) .*/\1/p' "$work/multi/disc.state")
  [[ -n "$second" ]] || fail "no second session: $(cat "$work/multi/disc.state")"
  /usr/bin/python3 "$source_dir/tests/iso/check_session.py" "$work/multi/disc.img" "$expected" "$second" ||
    fail "the readers do not find both sessions' files at block $second"
)

# A multi-session burn that fails in its middle closes a session whose
# folders list files it never wrote; the next session leaves them out
# (its own blocks may lie where their contents were to go).
(
  export WNASPI32_VIRTUAL_WRITERS="cd-r=$work/cut"
  mkdir "$work/cut-src" "$work/cut-expected"
  head -c 100000 /dev/urandom >"$work/cut-src/a.bin"
  head -c 3000000 /dev/urandom >"$work/cut-src/b.bin"
  WNASPI32_VIRTUAL_FAULTS=badblock=500 "$quillon" burn --multi "$work/cut-src" >/dev/null 2>&1 &&
    fail "a burn over a bad block succeeded"
  "$quillon" burn --multi "$work/loose/loose.bin" >/dev/null || fail "the burn after the failed one failed"
  cp -p "$work/cut-src/a.bin" "$work/loose/loose.bin" "$work/cut-expected/"
  second=$(sed -n 's/^track=2 .*start=\([0-9]*\) .*/\1/p' "$work/cut/disc.state")
  /usr/bin/python3 "$source_dir/tests/iso/check_session.py" "$work/cut/disc.img" "$work/cut-expected" "$second" ||
    fail "the session after a failed one does not hold just the files written whole"
)

# Sessions made by other tools, put over the blocks of a first session: an
# append carries each entry under its own name (long Joliet names; Rock
# Ridge names where the Joliet tree is missing or its root has length 0).
(
  peer=$work/peer
  mkdir -p "$peer/sub"
  printf 'accents\n' >"$peer/sub/$(printf 'é%.0s' {1..50})"
  printf 'long\n' >"$peer/$(printf 'L%.0s' {1..99}).txt"
  head -c 9000 /dev/urandom >"$peer/data.bin"
  head -c 3000000 /dev/urandom >"$work/filler.bin"
  cp -rp "$peer" "$work/peer-expected"
  cp -p "$work/loose/loose.bin" "$work/peer-expected/"
  append_to_peer() {  # name iso: prints the append's output
    export WNASPI32_VIRTUAL_WRITERS="cd-r=$work/$1"
    "$quillon" burn --multi "$work/filler.bin" >/dev/null || fail "$1: the first session failed"
    dd if="$2" of="$work/$1/disc.img" conv=notrunc status=none
    "$quillon" burn --multi "$work/loose/loose.bin" 2>&1
  }
  genisoimage -quiet -J -joliet-long -R -o "$work/jl.iso" "$peer"
  xorriso -as mkisofs -quiet -R -o "$work/rr.iso" "$peer" 2>/dev/null
  cp "$work/jl.iso" "$work/j0.iso"
  # The Joliet root's data length (descriptor at 17, root record at 156).
  printf '\0\0\0\0\0\0\0\0' | dd of="$work/j0.iso" bs=1 seek=$((17 * 2048 + 166)) conv=notrunc status=none
  for made in jl rr j0; do
    out=$(append_to_peer "$made" "$work/$made.iso") || fail "$made: the append failed: $out"
    second=$(sed -n 's/^track=2 .*start=\([0-9]*\) .*/\1/p' "$work/$made/disc.state")
    /usr/bin/python3 "$source_dir/tests/iso/check_session.py" "$work/$made/disc.img" "$work/peer-expected" "$second" ||
      fail "$made: the appended session does not show the peer's files under their names"
  done
  # An entry it cannot hold refuses the append, named, before anything is written.
  mkfifo "$peer/fifo1"
  xorriso -as mkisofs -quiet -R -o "$work/fifo.iso" "$peer" 2>/dev/null
  out=$(append_to_peer fifo "$work/fifo.iso") && fail "an append that drops a FIFO succeeded: $out"
  grep -q '"/fifo1", already on the disc, cannot be carried .*(a FIFO)\..*Nothing was written' <<<"${out//$'\n'/ }" ||
    fail "the FIFO is not named: $out"
)

# A write that fails in a session's file system leaves a session without
# volume descriptors: the next append builds on the session before it and
# says that the damaged one's files are not carried.
(
  export WNASPI32_VIRTUAL_WRITERS="cd-r=$work/damaged"
  "$quillon" burn --multi "$src" >/dev/null || fail "first session failed"
  for _ in 1 2; do
    WNASPI32_VIRTUAL_FAULTS=fail=2A@2 "$quillon" burn --multi "$work/cut-src" >/dev/null 2>&1 &&
      fail "a burn whose second write failed succeeded"
  done
  out=$("$quillon" burn --multi "$work/loose/loose.bin" 2>&1) || fail "the append after damaged sessions failed: $out"
  grep -q "Burned Completed!" <<<"$out" || fail "the append after damaged sessions was not reported burned: $out"
  grep -q "The disc's last 2 sessions hold no file system that reads back whole .* the files of session 1 instead." <<<"$out" ||
    fail "the append after damaged sessions: $out"
  last=$(sed -n 's/^track=4 .*start=\([0-9]*\) .*/\1/p' "$work/damaged/disc.state")
  /usr/bin/python3 "$source_dir/tests/iso/check_session.py" "$work/damaged/disc.img" "$expected" "$last" ||
    fail "the session after the damaged ones does not hold the first session's files"
)

# A failing burn ends non-zero with the engine's text: a write the drive
# refuses.
if err=$(WNASPI32_VIRTUAL_FAULTS=fail=2A@3 "$quillon" burn --writer 2 "$src" 2>&1); then
  fail "a burn with a refused write succeeded: $err"
fi
grep -q 'Unable to burn image.' <<<"$err" || fail "refused write: $err"
grep -q 'The writer refused the write at block [0-9,]*: write error (03/0C/00). The session was closed with' \
  <<<"$err" || fail "refused write without its reason: $err"
grep -q 'Burned Completed!' <<<"$err" && fail "refused write reported as burned: $err"

# Erasing the CD-RW, quickly and fully: blank again afterwards.
for mode in "" --full; do
  out=$("$quillon" erase $mode) || fail "erase $mode failed: $out"
  grep -qx 'Blank complete!' <<<"$out" || fail "erase $mode printed: $out"
  grep -qx 'Disc Blank = Yes' <<<"$("$quillon" info)" || fail "disc not blank after erase $mode"
done
if err=$("$quillon" erase --writer 2 2>&1); then fail "a CD-R was erased: $err"; fi

# Formatting the DVD+RW, then a DVD burn onto it.
out=$("$quillon" format --writer 1) || fail "format failed: $out"
grep -qx 'Format complete!' <<<"$out" || fail "format printed: $out"
grep -qx 'Formatting 30 %' <<<"$out" || fail "format showed no cycles: $out"
out=$("$quillon" burn --dvd --writer 1 "$src") || fail "DVD burn failed: $out"
readers_agree "$work/plusrw/disc.img" "$src"
if err=$("$quillon" format --writer 2 2>&1); then fail "a CD-R was formatted: $err"; fi

# Eject opens the tray: START STOP UNIT with LoEj.
WNASPI32_TRACE=$work/trace "$quillon" eject || fail "eject failed"
grep -q 'EXEC \[1B 00 00 00 02 ' "$work/trace" || fail "no eject sent: $(cat "$work/trace")"
if "$quillon" eject --writer 7 2>/dev/null; then fail "eject of a missing writer succeeded"; fi

echo "quillon burner end to end: ok"
