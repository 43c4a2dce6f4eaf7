#!/usr/bin/env bash
# The .deb of this build, unpacked with dpkg -x into a scratch root and run
# from there: nothing of the build tree may be used by the installed files.
set -euo pipefail
build=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  fail "cpack: $(cat "$work/cpack.log")"
deb=$(echo "$work"/out/quillonburner_*.deb)
[[ -f $deb ]] || fail "no package in $work/out: $(ls "$work/out")"

# Debian's own checks: no lintian error, and computed dependencies.
lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 || fail "lintian: $(cat "$work/lintian.log")"
dpkg-deb -f "$deb" Depends | grep 'libqt6widgets6' >/dev/null || fail "Depends not computed: $(dpkg-deb -f "$deb" Depends)"

root=$work/root
dpkg -x "$deb" "$root"
libdir=$(echo "$root"/usr/lib/*/quillon)
for file in usr/bin/quillon usr/bin/quillonburner usr/share/applications/quillonburner.desktop \
            usr/share/applications/quillonburner-image.desktop \
            usr/share/metainfo/quillonburner.metainfo.xml usr/share/icons/hicolor/scalable/apps/quillonburner.svg \
            usr/share/man/man1/quillon.1.gz usr/share/man/man1/quillonburner.1.gz \
            usr/share/bash-completion/completions/quillon; do
  [[ -f $root/$file ]] || fail "$file is not in the package"
done
for library in libscrivo.so libwnaspi32.so libquillonplatform.so libnovaleaf.so; do
  [[ -f $libdir/$library ]] || fail "$library is not in the private library folder"
done
for entry in quillonburner quillonburner-image; do
  desktop-file-validate "$root/usr/share/applications/$entry.desktop" || fail "desktop entry $entry"
done
appstreamcli validate --no-net "$root/usr/share/metainfo/quillonburner.metainfo.xml" >"$work/as.log" 2>&1 ||
  fail "AppStream metadata: $(cat "$work/as.log")"

# The programs load their libraries from the scratch root, through their
# run path.
# (ldd's whole output first: grep -q stops reading at its match, and
# pipefail would take the writer's SIGPIPE for a failure.)
for program in quillon quillonburner; do
  libraries=$(ldd "$root/usr/bin/$program")
  grep -q "libquillonplatform.so => $root/usr/bin/../lib/.*/quillon/" <<<"$libraries" ||
    fail "$program does not find its libraries in $libdir: $libraries"
done
"$root/usr/bin/quillon" --help | grep 'quillon doctor' >/dev/null || fail "quillon --help"
"$root/usr/bin/quillonburner" --version | grep '^quillonburner ' >/dev/null || fail "quillonburner --version"

# The manual pages: formatted without a warning, and saying what --help says.
for page in quillon quillonburner; do
  warnings=$(man --warnings -E UTF-8 -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "man $page: $warnings"
done
manual=$(MANWIDTH=200 man -E UTF-8 -l "$root/usr/share/man/man1/quillon.1.gz" 2>/dev/null)
while read -r usage; do
  grep -qF -- "$usage" <<<"$manual" || fail "quillon(1) lacks '$usage'"
done < <("$root/usr/bin/quillon" --help | sed -n 's/^  quillon \(.*\)$/quillon \1/p' | tr -s ' ')
MANWIDTH=200 man -E UTF-8 -l "$root/usr/share/man/man1/quillonburner.1.gz" 2>/dev/null |
  grep -qF "$("$root/usr/bin/quillonburner" --help | sed -n 3p | cut -c1-60)" || fail "quillonburner(1) lacks the description"

# A user whose registration names the build tree's engine: the installed
# quillon registers the engine installed with it.
export XDG_DATA_HOME=$work/data WNASPI32_REAL_DRIVES=0
unset WNASPI32_VIRTUAL_FAULTS WNASPI32_TRACE WNASPI32_DEBUG
"$build/bin/quillon" register >/dev/null
export WNASPI32_VIRTUAL_WRITERS="cd-r=$work/cd;cd-rw=$work/rw"
[[ $("$root/usr/bin/quillon" writers | wc -l) == 2 ]] || fail "the installed quillon does not list two writers"
grep -qF "$(readlink -f "$libdir/libscrivo.so")" "$XDG_DATA_HOME/quillon/registry" ||
  fail "the registration does not name the installed engine: $(cat "$XDG_DATA_HOME/quillon/registry")"

# Tab completion from the installed file: commands, options, writer numbers.
complete_words() {  # words... (the last one is completed)
  PATH="$root/usr/bin:$PATH" bash -c '
    source "$1"; shift
    complete -p quillon >/dev/null || exit 1
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _quillon; echo "${COMPREPLY[*]}"' \
    _ "$root/usr/share/bash-completion/completions/quillon" "$@"
}
[[ $(complete_words quillon do) == doctor ]] || fail "command completion: $(complete_words quillon do)"
[[ $(complete_words quillon burn --mu) == --multi ]] || fail "option completion: $(complete_words quillon burn --mu)"
[[ $(complete_words quillon erase --writer '') == '0 1' ]] || fail "writer completion: $(complete_words quillon erase --writer '')"

# A burn from the installed quillon onto a virtual CD-R reads back.
mkdir -p "$work/src/docs"
echo "installed package burn" >"$work/src/docs/readme.txt"
head -c 300000 /dev/urandom >"$work/src/data.bin"
"$root/usr/bin/quillon" burn --label PACKAGE "$work/src" >"$work/burn.log" 2>&1 || fail "burn: $(cat "$work/burn.log")"
grep -q 'Burned Completed!' "$work/burn.log" || fail "burn: $(cat "$work/burn.log")"
/usr/bin/python3 "$source_dir/tests/iso/check_readers.py" "$work/cd/disc.img" "$work/src" ||
  fail "the readers do not find the burned files"
echo "package: ok"
