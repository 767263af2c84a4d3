#!/bin/sh
# Runs a test program with the headless devices its labels need:
#   test_devices.sh [--display] [--audio] program [arguments...]
# --display  an X server. scripts/test.sh starts one Xvfb for the whole run and passes it on in
#            VXL_TEST_DISPLAY; without one (ctest run by hand) a private Xvfb serves this program.
# --audio    SDL's "disk" audio driver (unless SDL_AUDIODRIVER names another, such as "dummy"),
#            playing into a fresh file named by SDL_DISKAUDIOFILE, so a test can read it back.
# Listing the tests (--gtest_list_tests, when the build discovers them) needs no device.
set -eu

display=0
audio=0
while :; do
  case "${1-}" in
    --display) display=1; shift ;;
    --audio) audio=1; shift ;;
    *) break ;;
  esac
done
for arg; do
  if [ "$arg" = --gtest_list_tests ]; then exec "$@"; fi
done

work="$(mktemp -d)"
server=""
cleanup() {
  if [ -n "$server" ]; then
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM INT

if [ "$display" = 1 ]; then
  if [ -z "${VXL_TEST_DISPLAY-}" ]; then
    if ! command -v Xvfb >/dev/null; then
      echo "test_devices.sh: Xvfb is not installed (scripts/setup.sh installs it)" >&2
      exit 1
    fi
    # Xvfb writes its display number to the pipe once it accepts clients.
    mkfifo "$work/ready"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/ready" \
      >"$work/xvfb.log" 2>&1 &
    server=$!
    number=""
    read -r number <"$work/ready" || true
    if [ -z "$number" ]; then
      echo "test_devices.sh: Xvfb did not start:" >&2
      cat "$work/xvfb.log" >&2
      exit 1
    fi
    VXL_TEST_DISPLAY=":$number"
    export VXL_TEST_DISPLAY
  fi
  DISPLAY="$VXL_TEST_DISPLAY"
  export DISPLAY
fi

if [ "$audio" = 1 ]; then
  SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-disk}"
  SDL_DISKAUDIOFILE="$work/audio.raw"
  export SDL_AUDIODRIVER SDL_DISKAUDIOFILE
fi

status=0
"$@" || status=$?
exit "$status"
