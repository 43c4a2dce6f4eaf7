#!/usr/bin/env bash
# The main job: builds and registers everything and makes a sample folder.
# With a display, it starts the desktop application on the default virtual
# writer (a CD-RW whose disc lives in files) with the sample folder in its
# compilation. Without one, or with --headless, it burns the folder with the
# command-line host and shows what is on the disc.
set -euo pipefail
cd "$(dirname "$0")/.."
headless=0
[[ "${1:-}" == "--headless" ]] && headless=1
./scripts/build.sh
# The demonstration burns and erases the virtual writer's disc, never one in
# the machine's drive: real drives come first unless left out.
export WNASPI32_REAL_DRIVES="${WNASPI32_REAL_DRIVES:-0}"

quillon=./build/bin/quillon
sample=build/sample
rm -rf "$sample"
mkdir -p "$sample/photos" "$sample/notes"
cp README.md "$sample/notes/README.md"
printf 'A disc burned by Quillon Burner on %s.\n' "$(date -u '+%Y-%m-%d %H:%M UTC')" > "$sample/about.txt"
printf 'été\n' > "$sample/notes/été.txt"
head -c 300000 /dev/urandom > "$sample/photos/random.bin"

if ((!headless)) && [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  echo "== starting quillonburner with $sample in its compilation"
  exec ./build/bin/quillonburner "$sample"
fi

# The default writer holds a CD-RW; a disc left from an earlier run is
# erased first, as a user would before burning it again.
echo "== writers"
$quillon writers
if $quillon info | grep -q '^Disc Blank = No'; then
  echo "== erasing the disc left from an earlier run"
  $quillon erase
fi
echo "== burning $sample"
$quillon burn --label SAMPLE "$sample"

disc="${XDG_DATA_HOME:-$HOME/.local/share}/quillon/virtual-writer/disc.img"
if [[ -n "${WNASPI32_VIRTUAL_WRITERS+set}" ]]; then
  echo "(WNASPI32_VIRTUAL_WRITERS is set: the disc is in the first directory it names)"
  disc="${WNASPI32_VIRTUAL_WRITERS#*=}"
  disc="${disc%%;*}/disc.img"
fi
echo
echo "== the disc image is $disc"
echo "Look inside it with any ISO 9660 reader, for example:"
echo "  xorriso -indev $disc -find / -exec lsdl"
echo "  7zz l $disc"
echo "  isoinfo -l -J -i $disc"
echo
xorriso -indev "$disc" -find / -exec lsdl 2>/dev/null
