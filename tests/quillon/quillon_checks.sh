# Checks shared by the burner's shell tests; the sourcing script sets
# $quillon to the program.
fail() { echo "FAIL: $*"; exit 1; }
# run STATUS ARGS...: quillon's output (both streams) in $out, its status checked.
run() {
  local want=$1 got=0
  shift
  out=$("$quillon" "$@" 2>&1) || got=$?
  [[ $got == "$want" ]] || fail "quillon $* exited $got, not $want:
$out"
}
says() { grep -qF -- "$1" <<<"$out" || fail "no '$1' in:
$out"; }
