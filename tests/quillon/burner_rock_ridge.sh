#!/usr/bin/env bash
# What a Linux user gets back from a disc quillon burned, read through Rock
# Ridge by independent readers: modes, exact names, modification times,
# symbolic links (kept only with --keep-links, and named when they lead
# outside what is burned), a 12-level folder, a file of 4 GiB + 1 MiB on a
# DVD, and two appends to a CD-R whose first session a peer made with Rock
# Ridge.
set -euo pipefail
bin=$1
source_dir=$2
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
export XDG_DATA_HOME=$work/data
export WNASPI32_REAL_DRIVES=0
unset WNASPI32_VIRTUAL_FAULTS WNASPI32_TRACE WNASPI32_DEBUG
quillon=$bin/quillon
fail() { echo "FAIL: $*"; exit 1; }
rock_ridge_agrees() {  # image [checker options] DIR:MODES...
  /usr/bin/python3 "$source_dir/tests/iso/check_rock_ridge.py" "$@" ||
    fail "the Rock Ridge readers do not find on $1: ${*:2}"
}

"$quillon" register >/dev/null

src=$work/src
deep=$src/l2/l3/l4/l5/l6/l7/l8/l9/l10/l11/l12
mkdir -p "$deep"
printf '#!/bin/sh\necho hi\n' >"$src/run.sh"
chmod 750 "$src/run.sh"
printf 'data\n' >"$src/data.txt"
chmod 600 "$src/data.txt"
head -c 3000 /dev/urandom >"$deep/deep.bin"
ln -s data.txt "$src/link"
printf 'outside\n' >"$work/outside.txt"
ln -s ../outside.txt "$src/away"
# Times of their own, far from the burn's, folders last (their entries date them).
touch -d '2019-05-06 07:08:09' "$src/run.sh" "$work/outside.txt"
touch -d '2018-11-12 13:14:15' "$src/data.txt" "$deep/deep.bin"
touch -h -d '2017-01-02 03:04:05' "$src/link" "$src/away"
find "$src/l2" -type d -exec touch -d '2016-06-07 08:09:10' {} +

# By default a link's target is burned; the one that leads outside is named
# before the writer is touched.
export WNASPI32_VIRTUAL_WRITERS="cd-rw=$work/cd1;cd-rw=$work/cd2"
out=$("$quillon" burn "$src" 2>&1) || fail "burn failed: $out"
grep -q "notice: $src/away leads outside the folders being burned" <<<"$out" ||
  fail "the link leading outside was not named: $out"
grep -q "notice: $src/link" <<<"$out" && fail "a link inside was named: $out"
rock_ridge_agrees "$work/cd1/disc.img" "$src:shared"
# Plain ISO 9660 readers find the deep folders in the relocation folder.
isoinfo -l -i "$work/cd1/disc.img" | grep '^Directory listing of /RR_MOVED/' >/dev/null ||
  fail "no relocation folder in the ISO 9660 tree"

# --keep-links records links as links.
out=$("$quillon" burn --writer 1 --keep-links "$src" 2>&1) || fail "burn --keep-links failed: $out"
grep -q "notice: $src/away .*the disc keeps the link" <<<"$out" || fail "--keep-links: $out"
rock_ridge_agrees "$work/cd2/disc.img" --keep-links "$src:shared"

# A peer's session with names too long for Joliet (200 bytes, 120 Greek
# letters) and a relocated folder, appended to twice, the first time with
# the user's own rr_moved: every name reads back once and whole.
long=$work/long
mkdir -p "$long/d2/d3/d4/d5/d6/d7/d8/d9/d10" "$work/mine/rr_moved" "$work/more"
printf 'deep\n' >"$long/d2/d3/d4/d5/d6/d7/d8/d9/d10/deep.txt"
printf 'ascii\n' >"$long/$(printf 'a%.0s' {1..196}).txt"
printf 'greek\n' >"$long/$(printf '\xce\xb1\xce\xb2\xce\xb3\xce\xb4\xce\xb5%.0s' {1..24})"
printf 'mine\n' >"$work/mine/rr_moved/mine.txt"
printf 'more\n' >"$work/more/more.txt"
genisoimage -quiet -r -J -o "$work/long.iso" "$long"
export WNASPI32_VIRTUAL_WRITERS="cd-r=$work/long-cd"
"$quillon" burn --multi "$work/long.iso" >/dev/null || fail "the session under the peer's failed"
dd if="$work/long.iso" of="$work/long-cd/disc.img" conv=notrunc status=none
expected=("$long:shared")
for added in "$work/mine" "$work/more"; do
  "$quillon" burn --multi "$added" >/dev/null || fail "the append of $added to the peer's session failed"
  expected+=("$added:shared")
  last=$(sed -n 's/^track=[0-9]* .*start=\([0-9]*\) .*/\1/p' "$work/long-cd/disc.state" | tail -1)
  # bsdtar refuses a file whose continuation area lies past its data, as an
  # earlier session's long-named file's does in any appended session.
  rock_ridge_agrees "$work/long-cd/disc.img" --session "$last" --without bsdtar "${expected[@]}"
done
mkdir "$work/all" && cp -a "$long/." "$work/mine/." "$work/more/." "$work/all/"
out=$(/usr/bin/python3 "$source_dir/tests/iso/check_session.py" "$work/long-cd/disc.img" "$work/all" "$last") ||
  fail "the Joliet readers do not find the appended peer's session: $out"

# A DVD takes a file of 4 GiB and more, in sections; a CD refuses it before
# the writer is touched.
big=$work/big
mkdir "$big"
truncate -s 4101M "$big/huge.bin"
printf 'x' | dd of="$big/huge.bin" bs=1 seek=$((4100 * 1048576 + 7)) conv=notrunc status=none
out=$(WNASPI32_VIRTUAL_WRITERS="cd-r=$work/cd3" "$quillon" burn "$big" 2>&1) &&
  fail "a CD burn took a 4 GiB file: $out"
grep -q "huge.bin: 4 GiB or larger: only a DVD holds a file this large" <<<"$out" || fail "CD refusal: $out"
[[ ! -e "$work/cd3/disc.img" ]] || fail "the refused CD burn wrote"
out=$(WNASPI32_VIRTUAL_WRITERS="dvd+r=$work/dvd" "$quillon" burn --dvd "$big" 2>&1) ||
  fail "DVD burn of a 4 GiB + 1 MiB file failed: $out"
rock_ridge_agrees "$work/dvd/disc.img" "$big:shared"
size=$(xorriso -indev "$work/dvd/disc.img" -find /huge.bin -exec lsdl -- 2>/dev/null | awk '{print $5}')
[[ "$size" == $((4101 * 1048576)) ]] || fail "xorriso reads the large file as $size bytes"
rm -rf "$work/dvd"

# Two appends keep a peer's Rock Ridge session as it was: names of 100
# characters, modes, links and times. The Greek folder's name goes on in a
# continuation area; the file's fits its record: bsdtar refuses a file whose
# continuation area lies past its data, as an earlier session's file's does
# in any appended session (one xorriso appends too).
peer=$work/peer
long_folder="$peer/$(printf 'Ελληνικά-%.0s' {1..11})0"
mkdir -p "$peer/tools" "$long_folder"
printf 'peer\n' >"$peer/tools/build.sh"
chmod 751 "$peer/tools/build.sh"
printf 'mixed\n' >"$peer/Mixed Case.TXT"
printf 'secret\n' >"$peer/private.key"
chmod 600 "$peer/private.key"
long_file="$long_folder/$(printf 'long name %.0s' {1..9})012345.txt"
printf 'long\n' >"$long_file"
ln -s "tools/build.sh" "$peer/shortcut"
touch -d '2011-02-03 04:05:06' "$peer/tools/build.sh" "$peer/Mixed Case.TXT"
touch -d '2012-07-08 09:10:11' "$peer/private.key" "$long_file"
touch -h -d '2013-03-04 05:06:07' "$peer/shortcut"
touch -d '2010-10-10 10:10:10' "$peer/tools" "$long_folder"
xorriso -as mkisofs -R -J -o "$work/peer.iso" "$peer" 2>/dev/null
# The peer's session goes over a first session of ours, which leaves the disc open.
export WNASPI32_VIRTUAL_WRITERS="cd-r=$work/multi"
head -c 3000000 /dev/urandom >"$work/filler.bin"
"$quillon" burn --multi "$work/filler.bin" >/dev/null || fail "the first session failed"
dd if="$work/peer.iso" of="$work/multi/disc.img" conv=notrunc status=none
added=$work/added
mkdir -p "$added/notes"
cp -p "$src/data.txt" "$added/"
printf 'second\n' >"$added/notes/second.txt"
touch -d '2014-04-05 06:07:08' "$added/notes/second.txt" "$added/notes"
"$quillon" burn --multi "$added" >/dev/null || fail "the append to the peer's session failed"
later=$work/later
mkdir "$later"
printf '#!/bin/sh\n' >"$later/third.sh"
chmod 700 "$later/third.sh"
touch -d '2015-08-09 10:11:12' "$later/third.sh"
"$quillon" burn --multi "$later" >/dev/null || fail "the third session failed"
for track in 2 3; do
  start=$(sed -n "s/^track=$track .*start=\([0-9]*\) .*/\1/p" "$work/multi/disc.state")
  [[ -n "$start" ]] || fail "no track $track on the disc: $(cat "$work/multi/disc.state")"
  sources=("$peer:exact" "$added:shared")
  if [[ $track == 3 ]]; then sources+=("$later:shared"); fi
  rock_ridge_agrees "$work/multi/disc.img" --session "$start" --keep-links "${sources[@]}"
done
echo ok
