#!/usr/bin/env bash
# Installs what is missing, builds, and runs the launcher with the given arguments.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
exec "$root/${BUILD_DIR:-build}/bin/launcher" "$@"
