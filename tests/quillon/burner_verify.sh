#!/usr/bin/env bash
# A burn reads its session back: on every medium a clean burn says it is
# identical; blocks that read back wrong or not at all (the virtual writer's
# corrupt= and unreadable= faults) in a file or in the directory are named,
# exit 1. quillon verify compares a disc with its sources the same way.
set -euo pipefail
bin=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME=$work/data WNASPI32_REAL_DRIVES=0 WNASPI32_VIRTUAL_POLLS=2
unset WNASPI32_VIRTUAL_FAULTS WNASPI32_TRACE WNASPI32_DEBUG
quillon=$bin/quillon
source "$2/tests/quillon/quillon_checks.sh"
"$quillon" register >/dev/null

mkdir -p "$work/src/docs"
head -c 300000 /dev/urandom >"$work/src/big.bin"
echo notes >"$work/src/docs/notes.txt"
burn() {  # status medium dir [options...]: a burn of src, its output in $out
  local want=$1 medium=$2 dir=$3 dvd=()
  shift 3
  [[ $medium == dvd* ]] && dvd=(--dvd)
  WNASPI32_VIRTUAL_WRITERS="$medium=$dir" run "$want" burn --label V "${dvd[@]}" "$@" "$work/src"
}

# Every medium verifies.
for medium in cd-r cd-rw dvd-r dvd+r dvd+rw; do
  burn 0 "$medium" "$work/$medium"
  says 'Verifying 100 %'
  says 'Verified: 2 files, 0.3 MB, identical.'
done

# Where big.bin's contents (a block inside them) and the Joliet root
# directory lie, from the disc.
read -r file_lba dir_lba < <(python3 - "$work/cd-r/disc.img" <<'PY'
import struct, sys
img = open(sys.argv[1], 'rb').read()
root = struct.unpack_from('<I', img, 17 * 2048 + 158)[0]
d, i = img[root * 2048:(root + 1) * 2048], 0
while d[i]:
    if d[i + 33:i + 33 + d[i + 32]].decode('utf-16-be', 'replace').startswith('big.bin'):
        print(struct.unpack_from('<I', d, i + 2)[0] + 3, root)
    i += d[i]
PY
)
[[ -n $dir_lba ]] || fail "big.bin not found on the disc"

# fault|what the user is told
cases=(
  "corrupt=$file_lba|\"/big.bin\" (from \"$work/src/big.bin\") differs from its source (1 block from block $file_lba)."
  "unreadable=$file_lba-$((file_lba + 1))|\"/big.bin\" (from \"$work/src/big.bin\") cannot be read (2 blocks from block $file_lba)."
  "corrupt=$dir_lba|The disc's directory is damaged: it differs from what was written (1 block from block $dir_lba)."
  "unreadable=$dir_lba|The disc's directory is damaged: it cannot be read (1 block from block $dir_lba)."
)
n=0
for medium in cd-r dvd+r; do
  for case in "${cases[@]}"; do
    fault=${case%%|*} told=${case#*|} n=$((n + 1))
    WNASPI32_VIRTUAL_FAULTS=$fault burn 1 "$medium" "$work/f$n"
    says "quillon: $told"
  done
done

# --no-verify reads nothing back.
WNASPI32_VIRTUAL_FAULTS=corrupt=$file_lba burn 0 cd-r "$work/nv" --no-verify
[[ $out == *'Burned Completed!' && $out != *Verif* ]] || fail "--no-verify: $out"

# quillon verify: the same sources compare equal; a changed source differs.
export WNASPI32_VIRTUAL_WRITERS="cd-r=$work/cd-r"
run 0 verify --label V "$work/src"
says 'Verified: 2 files, 0.3 MB, identical.'
echo changed >"$work/src/docs/notes.txt"
run 1 verify --label V "$work/src"
says "quillon: \"/docs/notes.txt\" (from \"$work/src/docs/notes.txt\") differs from its source"
# Its input mistakes are told as a comparison's, never pointing at a burn's option.
mkdir "$work/empty"
for case in ":nothing to compare: give the files and folders the disc was burned from" \
  "$work/empty:nothing to compare: the folders given are empty."; do
  run 2 verify ${case%%:*}
  says "quillon: ${case#*:}"
done
echo "burner_verify: ok"
