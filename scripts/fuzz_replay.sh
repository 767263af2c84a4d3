#!/usr/bin/env bash
# Builds the fuzz targets with clang and replays each one's seed corpus once (-runs=0). It takes
# seconds and stops a fuzz target from silently breaking: one that no longer builds, lacks its
# corpus, or fails on a seed fails the run. Environment: FUZZ_BUILD_DIR (default: build-fuzz).
# Leaks that system libraries keep for themselves are suppressed as in the test suite; run a fuzz
# target by hand with the same LSAN_OPTIONS.
set -euo pipefail
cd "$(dirname "$0")/.."
export LSAN_OPTIONS="suppressions=$PWD/tests/support/lsan.supp:print_suppressions=0"
build_dir="${FUZZ_BUILD_DIR:-build-fuzz}"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DVXL_FUZZ=ON -DVXL_TESTS=OFF -DVXL_BENCH=OFF >/dev/null
targets=()
for part in fuzz/*.cmake; do
  targets+=("$(basename "$part" .cmake)")
done
cmake --build "$build_dir" --target "${targets[@]}"

log="$(mktemp)"
trap 'rm -f "$log"' EXIT
for name in "${targets[@]}"; do
  corpus="fuzz/corpus/$name"
  if [ ! -d "$corpus" ]; then
    echo "$name: no seed corpus in $corpus" >&2
    exit 1
  fi
  if ! "$build_dir/bin/$name" -runs=0 "$corpus" >"$log" 2>&1; then
    cat "$log" >&2
    echo "$name: failed on its seed corpus" >&2
    exit 1
  fi
  echo "$name: $(find "$corpus" -type f | wc -l) seeds replayed"
done
