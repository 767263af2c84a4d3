#!/usr/bin/env bash
# Regenerates the pictures the README shows, headless, from the examples themselves:
#   docs/images/sprites-opengl.png   a frame of the sprites example through the "OpenGL" driver
#   docs/images/scenes-d3d7.png      the scene gallery through the software "DirectX7" driver
#   docs/images/tone-waveform.png    what play_audio played, read back from SDL's disk audio driver
#   docs/images/event-timeline.png   input injected into event_viewer's window, as it arrived
# The recipes are the ones CI uses (tests/support/test_devices.sh). Environment: BUILD_DIR
# (default: build, already built with the examples).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-build}"
[[ "$build" == /* ]] || build="$root/$build"
out="$root/docs/images"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
devices="$root/tests/support/test_devices.sh"

"$devices" --display "$build/bin/sprites" --frames 90 --screenshot "$out/sprites-opengl.png" \
  >/dev/null
echo "docs/images/sprites-opengl.png"

# The software Direct3D 7 driver needs no display: SDL's offscreen video driver.
SDL_VIDEODRIVER=offscreen "$build/bin/scenes" DirectX7 --frames 2 \
  --screenshot "$out/scenes-d3d7.png" >/dev/null
echo "docs/images/scenes-d3d7.png"

# A two-second 440 Hz tone, played through the software mixer into SDL's disk driver.
sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 2 sine 440 fade 0 2 0.5 2>/dev/null
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/played.raw" \
  "$build/bin/play_audio" "$work/tone.wav" >/dev/null 2>&1
/usr/bin/python3 "$root/scripts/plot_waveform.py" "$work/played.raw" "$out/tone-waveform.png"
echo "docs/images/tone-waveform.png"

# Pointer, buttons, wheel and keys faked through the X server's XTest extension.
"$devices" --display /usr/bin/python3 "$root/scripts/event_timeline.py" "$build/bin/event_viewer" \
  "$out/event-timeline.png"
echo "docs/images/event-timeline.png"
