#!/usr/bin/env bash
# Image files: 'quillon image' writes the blocks a burn of the same tree
# writes, read back by the independent readers; 'quillon burn-image' burns a
# genisoimage image that reads back block for block on each medium (once
# more with the strict drive model); the refusals; Ctrl-C leaves no image.
set -euo pipefail
bin=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME=$work/data
export WNASPI32_REAL_DRIVES=0
export WNASPI32_VIRTUAL_POLLS=2
export SOURCE_DATE_EPOCH=1700000000
unset WNASPI32_VIRTUAL_FAULTS WNASPI32_TRACE WNASPI32_DEBUG WNASPI32_VIRTUAL_STRICT
quillon=$bin/quillon
source "$source_dir/tests/quillon/quillon_checks.sh"
# same_blocks IMAGE DISC: the disc's first blocks are the image's.
same_blocks() { cmp -s -n "$(stat -c %s "$1")" "$1" "$2" || fail "$2 does not hold $1 block for block"; }

"$quillon" register >/dev/null
src=$work/src
mkdir -p "$src/sub folder/deeper"
printf 'hello\n' >"$src/hello.txt"
head -c 70000 /dev/urandom >"$src/sub folder/odd.bin"
: >"$src/sub folder/deeper/empty"
printf 'caf\xc3\xa9\n' >"$src/caf"$'\xc3\xa9'".txt"

# The image is the burn's session, for a CD and for a DVD.
for medium in cd-r dvd+r; do
  dvd=$([[ $medium == dvd* ]] && echo --dvd || true)
  export WNASPI32_VIRTUAL_WRITERS="$medium=$work/burned-$medium"
  run 0 image --output "$work/$medium.iso" --label SAME $dvd "$src"
  says "Image saved: $work/$medium.iso"
  run 0 burn --label SAME $dvd "$src"
  same_blocks "$work/$medium.iso" "$work/burned-$medium/disc.img"
  /usr/bin/python3 "$source_dir/tests/iso/check_readers.py" "$work/$medium.iso" "$src" ||
    fail "the readers do not find the tree in the $medium image"
done
cmp -s "$work/cd-r.iso" "$work/dvd+r.iso" || fail "--dvd changed the image's blocks"

# A peer's image burned onto each medium reads back as the file, with the
# strict drive model and without; the session is read back as a burn's is.
genisoimage -quiet -J -R -o "$work/peer.iso" "$src"
burn_each() {  # STRICT MEDIUM...
  local strict=$1 medium
  shift
  for medium in "$@"; do
    local disc=$work/bi-$strict-$medium
    WNASPI32_VIRTUAL_STRICT=$strict WNASPI32_VIRTUAL_WRITERS="$medium=$disc" run 0 burn-image "$work/peer.iso"
    says "Burned Completed!"
    says "MB, identical."
    same_blocks "$work/peer.iso" "$disc/disc.img"
    grep -q 'closed=yes' "$disc/disc.state" || fail "$medium: the disc was not closed: $(cat "$disc/disc.state")"
  done
}
burn_each 0 cd-r cd-rw dvd-r dvd+r dvd+rw
burn_each 1 cd-r cd-rw dvd-r dvd+r dvd+rw

# Refusals, each before anything is written: STATUS | TEXT | ARGS.
export WNASPI32_VIRTUAL_WRITERS="cd-r=$work/bi-0-cd-r"
cp "$work/bi-0-cd-r/disc.img" "$work/used-before.img"
# A CD image too large for a blank CD-R: a sparse file whose descriptor
# says so.
cp "$work/peer.iso" "$work/huge.iso"
truncate -s $((400000 * 2048)) "$work/huge.iso"
/usr/bin/python3 -c 'import struct,sys; f=open(sys.argv[1],"r+b"); f.seek(16*2048+80); f.write(struct.pack("<I",400000)+struct.pack(">I",400000))' "$work/huge.iso"
mkdir "$work/big-src"
truncate -s $((400000 * 2048)) "$work/big-src/sparse.bin"
while IFS='|' read -r status text args; do
  eval "set -- $args"
  WNASPI32_VIRTUAL_WRITERS="cd-r=$work/blank" run "$status" "$@"
  says "$text"
done <<ROWS
2|is not an ISO 9660 image|burn-image "$src/hello.txt"
1|the image needs 782 MB but the disc in writer 0 has 703 MB free|burn-image "$work/huge.iso"
1|more than a blank CD holds (360,000 blocks, 703.1 MB). It fits a DVD.|image --output "$work/x.iso" "$work/big-src"
1|a folder being written into the image|image --output "$src/sub folder/x.iso" "$src"
ROWS
run 1 burn-image "$work/peer.iso"
says "is not blank: an image file holds the addresses of a disc's first session"
cmp -s "$work/bi-0-cd-r/disc.img" "$work/used-before.img" || fail "the refused image was written"
[[ ! -s "$work/blank/disc.img" && ! -e "$work/x.iso" && ! -e "$src/sub folder/x.iso" ]] ||
  fail "a refused command left a file: $(ls -a "$work" "$work/blank" "$src/sub folder" 2>&1)"

# The engine refuses a used disc itself, for a host that does not ask first.
out=$(printf 'InitControl\nSetCurrentDevice 0\nBurnImageFile "%s"\nwait Finished 20\n' "$work/peer.iso" | "$quillon" shell)
grep -qF '# Unable to burn image.' <<<"$out" || fail "the engine burned an image onto a used disc: $out"
cmp -s "$work/bi-0-cd-r/disc.img" "$work/used-before.img" || fail "the engine wrote the refused image"

# Ctrl-C while the image is written: no image, no temporary file.
"$quillon" image --dvd --output "$work/cut.iso" "$work/big-src" >"$work/cut.out" 2>&1 &
pid=$!
for _ in $(seq 200); do
  grep -qE '^Writing the image [1-9][0-9] %' "$work/cut.out" && break
  sleep 0.05
done
kill -INT "$pid"
status=0
wait "$pid" || status=$?
[[ $status == 130 ]] || fail "the cancelled image exited $status: $(cat "$work/cut.out")"
grep -q 'no image file was saved' "$work/cut.out" || fail "cancel: $(cat "$work/cut.out")"
leftover=$(find "$work" -maxdepth 1 -name '*cut.iso*')
[[ -z "$leftover" ]] || fail "a cancelled image left $leftover"

echo "quillon image files: ok"
