#!/usr/bin/env bash
# The real program in a real X server (Xvfb with openbox), driven as a user
# drives it from the keyboard: started on a folder and on a folder holding
# 800 MB, with a virtual CD-R whose writes are slowed and no network, the
# start-up's upgrade notice accepted (the upgrade's own window keeps looking
# for its server), F12 twice (the small window of 200 x 130, then the
# normal one). Alt+D then Return (Drive, Start Burn) is refused, the 800 MB
# do not fit; once that file is gone it burns the folder, Return closes the
# message box. Ctrl+D opens the add-files dialog, typing "large" and Ctrl+D
# adds that folder, Escape hides it; Start Burn again, Alt+X during the
# burn says why the window stays, Alt+D, Down, Return (Cancel Burn) and
# Return (Yes) cancel it. File, Save as Image... saves the folder as an
# image file, read back by the readers too. Help then Return opens the about box and Return
# closes it, Alt+X ends the program with status 0. The disc's first session
# is read back by the independent readers. Started again with --burn-image
# on the saved image (a file manager's "Open With"), it burns the image onto
# a blank CD-R, compared block for block. Screenshots land in
# $QUILLON_SCREENSHOTS when that is set.
set -euo pipefail
bin=$1
source_dir=$2
for tool in Xvfb openbox xdotool; do
  command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is not installed (scripts/setup.sh installs it)"; exit 77; }
done
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
shot() { [[ -n "${QUILLON_SCREENSHOTS:-}" ]] && import -window root "$QUILLON_SCREENSHOTS/$1.png" || true; }
# The visible window with exactly this caption, within 10 s.
window() {
  for _ in $(seq 100); do
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 && return 0
    sleep 0.1
  done
  fail "no window \"$1\"" >&2
}
gone() {
  for _ in $(seq 100); do
    xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  fail "the window \"$1\" is still there"
}

# The upgrade library is linked at load time.
readelf -d "$bin/quillonburner" | grep 'NEEDED.*\[libnovaleaf\.so\]' >/dev/null ||
  fail "quillonburner is not linked against libnovaleaf.so"

export XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/config HOME=$work
# An upgrade server no network reaches (an address kept for documentation).
export QUILLON_UPGRADE_URL=http://192.0.2.1/
export WNASPI32_REAL_DRIVES=0 WNASPI32_VIRTUAL_WRITERS="cd-r=$work/writer"
# Each write takes 40 ms longer: a burn of 30 MB lasts long enough to be
# cancelled in its middle.
export WNASPI32_VIRTUAL_FAULTS=slow=2A:40
unset QT_QPA_PLATFORM
mkdir -p -m 700 "$work/runtime"
mkdir -p "$work/folder/sub folder"
printf 'hello\n' >"$work/folder/hello.txt"
head -c 300000 /dev/urandom >"$work/folder/sub folder/random.bin"
mkdir -p "$work/big" "$work/large"
truncate -s 800M "$work/big/huge.bin"
truncate -s 30M "$work/large/sparse.bin"

# A free display number: the first whose lock file is not taken.
display=90
while [[ -e /tmp/.X$display-lock ]]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=":$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

"$bin/quillonburner" "$work/folder" "$work/big" >"$work/app.log" 2>&1 &
app=$!
pids+=($app)
main=$(window 'Quillon CD & DVD Burner')
notice=$(window Upgrade)  # offered on the first activation
shot upgrade-notice
xdotool windowactivate --sync "$notice" key Return
sleep 1
shot upgrade-window
xdotool windowactivate --sync "$main"
shot main-window

# F12 makes the small window, 200 x 130; F12 again brings the normal one back.
size_after_f12() {
  xdotool key F12
  for _ in $(seq 50); do
    sleep 0.1
    main=$(window 'Quillon CD & DVD Burner')
    eval "$(xdotool getwindowgeometry --shell "$main")"
    [[ ${WIDTH}x$HEIGHT == "$1" ]] && return 0
  done
  fail "F12 made a window of ${WIDTH}x$HEIGHT, not $1"
}
eval "$(xdotool getwindowgeometry --shell "$main")"
normal=${WIDTH}x$HEIGHT
size_after_f12 200x130
shot small-window
size_after_f12 "$normal"
xdotool windowactivate --sync "$main"

# A second window of the application's title: a message box, within 60 s.
boxes() { xdotool search --onlyvisible --name '^Quillon CD & DVD Burner$' | wc -l; }
await_box() {
  for _ in $(seq 600); do
    (($(boxes) > 1)) && return 0
    sleep 0.1
  done
  fail "no message box: $1"
}
close_box() {
  box=$(xdotool search --onlyvisible --name '^Quillon CD & DVD Burner$' | grep -vx "$main" | head -1)
  xdotool windowactivate --sync "$box" key Return
  for _ in $(seq 100); do
    (($(boxes) == 1)) && return 0
    sleep 0.1
  done
  fail "the message box is still there"
}

# 800 MB do not fit on the CD-R: the bar under the list says so, and Start
# Burn is refused before anything is written.
sleep 1
shot capacity-too-large
xdotool key --clearmodifiers alt+d
sleep 0.5
shot drive-menu
xdotool key Return
await_box "Start Burn with 800 MB for a CD-R"
shot capacity-refused
close_box
[[ ! -s $work/writer/disc.img ]] || fail "the refused burn wrote to the disc"

rm "$work/big/huge.bin"
# File, Save as Image... writes the list as an image file.
xdotool windowactivate --sync "$main" key --clearmodifiers alt+f
sleep 0.5
xdotool key i
window 'Save as Image' >/dev/null
sleep 1
xdotool type --delay 20 "$work/list.iso"
xdotool key Return
await_box "after Save as Image"
shot image-saved
close_box
xdotool windowactivate --sync "$main" key --clearmodifiers alt+d
sleep 0.5
xdotool key Return
# The burn ends with a second window of the same title: the message box.
await_box "after the burn"
shot burned
close_box
sleep 1
shot after-burn
# The first session, before the cancelled burn adds another.
/usr/bin/python3 "$source_dir/tests/iso/check_readers.py" "$work/writer/disc.img" "$work/folder" ||
  fail "the readers do not find the folder on the disc"
/usr/bin/python3 "$source_dir/tests/iso/check_readers.py" "$work/list.iso" "$work/folder" ||
  fail "the readers do not find the folder in the saved image"

# Add takes the folder the file list selects as it is typed.
xdotool windowactivate --sync "$main" key --clearmodifiers ctrl+d
window Add >/dev/null
sleep 1
xdotool type --delay 50 large
xdotool key --clearmodifiers ctrl+d
sleep 0.5
xdotool key Escape
gone Add
xdotool windowactivate --sync "$main" key --clearmodifiers alt+d
sleep 0.5
xdotool key Return
sleep 3
shot during-burn
xdotool key --clearmodifiers alt+x
await_box "Alt+X during the burn"
shot exit-during-burn
close_box
xdotool windowactivate --sync "$main" key --clearmodifiers alt+d
sleep 0.5
xdotool key Down Return
await_box "Cancel Burn"
shot cancel-question
close_box  # Yes
await_box "after the cancelled burn"
shot cancelled-burn
close_box
sleep 1
shot after-cancelled-burn

xdotool windowactivate --sync "$main" key --clearmodifiers ctrl+d
window Add >/dev/null
sleep 1
shot add-dialog
xdotool key Escape
gone Add
xdotool windowactivate --sync "$main" key --clearmodifiers alt+h
sleep 0.5
xdotool key Return
window About >/dev/null
shot about-box
xdotool key Return
gone About
shot upgrade-window-at-the-end  # says that no upgrade is available
xdotool windowactivate --sync "$main" key --clearmodifiers alt+x
status=0
timeout 30 tail --pid="$app" -f /dev/null || fail "the program did not end after Alt+X"
wait "$app" || status=$?
[[ $status == 0 ]] || fail "the program ended with status $status: $(cat "$work/app.log")"

# A file manager's "Open With" on an image: --burn-image burns it as Burn
# Image does, onto a blank CD-R, block for block.
WNASPI32_VIRTUAL_WRITERS="cd-r=$work/writer2" WNASPI32_VIRTUAL_FAULTS='' \
  "$bin/quillonburner" --burn-image "$work/list.iso" >"$work/app2.log" 2>&1 &
app=$!
pids+=($app)
main=$(window 'Quillon CD & DVD Burner')
notice=$(window Upgrade)  # offered again on this start's first activation
xdotool windowactivate --sync "$notice" key Return
await_box "after --burn-image"
shot image-burned
close_box
xdotool windowactivate --sync "$main" key --clearmodifiers alt+x
timeout 30 tail --pid="$app" -f /dev/null || fail "the program did not end after Alt+X"
image_bytes=$(stat -c %s "$work/list.iso")
cmp -n "$image_bytes" "$work/list.iso" "$work/writer2/disc.img" ||
  fail "the disc does not hold the image --burn-image burned: $(cat "$work/app2.log")"
echo "the real window offered the upgrade, refused 800 MB for a CD-R, burned the folder, added and cancelled a" \
  "second burn, opened Add and About, and ended with status 0; --burn-image burned the saved image"
