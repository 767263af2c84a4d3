#!/usr/bin/env bash
# Installs what is missing, builds the framework, the launcher and the examples (quietly: see
# setup.sh), and runs the launcher with the given arguments; its output and exit code pass through.
# The tests and benchmarks build in test.sh.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
setup_args=()
if [ "${VXL_VERBOSE:-0}" = 1 ]; then
  setup_args+=(-v)
fi
targets=(launcher examples)
"$root/scripts/setup.sh" "${setup_args[@]}" "${targets[@]}"
build_dir="${BUILD_DIR:-build}"
[[ "$build_dir" == /* ]] || build_dir="$root/$build_dir"
exec "$build_dir/bin/launcher" "$@"
