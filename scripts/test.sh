#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite. Extra arguments go to ctest
# (for example: -L unit, or -R Strings).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
cd "$root/${BUILD_DIR:-build}"
ctest --output-on-failure -j"$(nproc)" "$@"
