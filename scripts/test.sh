#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite. Extra arguments go to ctest
# (for example: -L unit, or -R Strings). One X server serves the tests labelled display for the
# whole run; tests labelled audio play through SDL's disk driver (tests/support/test_devices.sh).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
cd "$root/${BUILD_DIR:-build}"
exec "$root/tests/support/test_devices.sh" --display ctest --output-on-failure -j"$(nproc)" "$@"
