#!/usr/bin/env bash
# Regenerates tests/graphics/compare/golden/<scene>.png: the Kor2D scene gallery drawn by the
# software "DirectX7" driver, headless (SDL's offscreen video driver), which scene_golden_tests
# compares byte for byte. Run it after a deliberate change to the scenes or to the rasteriser,
# look at the pictures (git diff shows which changed) and commit them with that change.
# Environment: BUILD_DIR (default: build, already built with the examples).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-build}"
[[ "$build" == /* ]] || build="$root/$build"
out="$root/tests/graphics/compare/golden"
mkdir -p "$out"
SDL_VIDEODRIVER=offscreen "$build/bin/scenes" DirectX7 --save-scenes "$out"
