#!/usr/bin/env bash
# Installs the Debian packages the project needs (only those missing), then configures and builds.
#   setup.sh [target...]   builds the named targets (every target when none is named)
# Quiet by default: one progress line (redrawn in place on a terminal; a start and an end line
# otherwise), the build log in <build dir>/logs/build.log, and on failure its last 40 lines.
# Environment: BUILD_DIR (default: build), VXL_SANITIZE=1 for an ASan+UBSan build,
# VXL_SANITIZE=thread for a ThreadSanitizer build of the tests that cross threads, VXL_VERBOSE=1
# (or -v as the first argument) to show the whole package and build output.
set -euo pipefail
cd "$(dirname "$0")/.."

verbose="${VXL_VERBOSE:-0}"
if [ "${1-}" = "-v" ]; then
  verbose=1
  shift
fi
build_dir="${BUILD_DIR:-build}"
log_dir="$build_dir/logs"
mkdir -p "$log_dir"

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev clang-format
  zlib1g-dev libpng-dev libjpeg62-turbo-dev libogg-dev libvorbis-dev libfreetype-dev
  libenet-dev libsdl2-dev libopenal1 libopenal-dev googletest libgtest-dev libbenchmark-dev
  xvfb xauth libgl1-mesa-dri libgl-dev libx11-dev mesa-utils python3-pil sox vorbis-tools locales
  libxtst6 fonts-dejavu-core
  # Anchors the benchmarks measure against, side by side; nothing else links them.
  libsdl2-image-dev libsdl2-mixer-dev libstb-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
# Runs a set-up step with its output in the log (or on the terminal with -v); on failure shows the
# log's end.
step() {
  local name="$1"
  shift
  if [ "$verbose" = 1 ]; then
    "$@"
    return
  fi
  if ! "$@" >"$log_dir/$name.log" 2>&1; then
    tail -n 40 "$log_dir/$name.log" >&2
    echo "setup.sh: $name failed; the whole log is $log_dir/$name.log" >&2
    exit 1
  fi
}
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  step apt-update $sudo apt-get update -qq
  step apt-install $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    --no-install-recommends "${missing[@]}" </dev/null
fi

# A locale with a decimal comma, for the test that number text ignores the program's locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  $sudo sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  step locale-gen $sudo locale-gen
fi

options=(-DVXL_SANITIZE=OFF)
case "${VXL_SANITIZE:-0}" in
  1) options=(-DVXL_SANITIZE=ON) ;;
  # Only the tests that cross threads build under ThreadSanitizer; benchmarks and examples not.
  thread) options=(-DVXL_SANITIZE=thread -DVXL_BENCH=OFF -DVXL_EXAMPLES=OFF) ;;
esac
step configure cmake -S . -B "$build_dir" -G Ninja "${options[@]}"

targets=()
for t in "$@"; do
  targets+=(--target "$t")
done
if [ "$verbose" = 1 ]; then
  cmake --build "$build_dir" "${targets[@]}"
  exit
fi

log="$log_dir/build.log"
if [ -t 1 ]; then
  columns="$(tput cols 2>/dev/null || echo 80)"
else
  echo "building in $build_dir (log: $log)"
fi
set +e
cmake --build "$build_dir" "${targets[@]}" 2>&1 | tee "$log" | while IFS= read -r line; do
  if [ -t 1 ] && [[ "$line" == \[*/*\]* ]]; then
    printf '\r\033[K%s' "${line:0:$((columns - 1))}"
  fi
done
status="${PIPESTATUS[0]}"
set -e
[ -t 1 ] && printf '\r\033[K'
if [ "$status" -ne 0 ]; then
  tail -n 40 "$log" >&2
  echo "setup.sh: the build failed; the whole log is $log" >&2
  exit "$status"
fi
[ -t 1 ] || echo "built $build_dir"
