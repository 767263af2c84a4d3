#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite. Extra arguments go to ctest
# (for example: -L unit, or -R Strings). One X server serves the tests labelled display for the
# whole run; tests labelled audio play through SDL's disk driver (tests/support/test_devices.sh).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
cd "$root/${BUILD_DIR:-build}"
# Sanitized builds: every test, also one added without vxl_test (the examples' own), passes over
# the leaks and races that system libraries keep to themselves.
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$root/tests/support/lsan.supp:print_suppressions=0}"
export TSAN_OPTIONS="${TSAN_OPTIONS:-suppressions=$root/tests/support/tsan.supp:halt_on_error=1}"
exec "$root/tests/support/test_devices.sh" --display ctest --output-on-failure -j"$(nproc)" "$@"
