#!/usr/bin/env bash
# scripts/run.sh is quiet: a good build prints at most three lines (and the launcher's own output,
# here none), a broken one shows the compiler's error, names the log and fails.
#   run_sh_test.sh <source root> <build dir of that root, already built>
set -euo pipefail
root="$1"
build="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

out="$(BUILD_DIR="$build" bash "$root/scripts/run.sh" 2>&1)" || fail "run.sh on a good tree: exit $?: $out"
lines="$(printf '%s' "$out" | grep -c '' || true)"
[ "$lines" -le 3 ] || fail "a good build printed $lines lines:
$out"

# A copy of the sources with one header broken: the first compile fails.
mkdir "$work/tree"
(cd "$root" && tar cf - --exclude='./build*' --exclude='./.git' --exclude='./fuzz-out*' .) |
  (cd "$work/tree" && tar xf -)
printf '\n#error broken on purpose\n' >>"$work/tree/src/runtime/object.h"
status=0
out="$(BUILD_DIR="$work/build" bash "$work/tree/scripts/run.sh" 2>&1)" || status=$?
[ "$status" -ne 0 ] || fail "a broken build exited 0"
[[ "$out" == *"broken on purpose"* ]] || fail "the compiler's error is not shown:
$out"
[[ "$out" == *"$work/build/logs/build.log"* ]] || fail "the log's path is not shown:
$out"
echo "ok"
