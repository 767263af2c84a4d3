#!/usr/bin/env bash
# Installs the framework into a temporary prefix and checks what a user gets there:
# - every installed header compiles on its own against the installed tree, and no header outside
#   the native layers (src/platform/) includes a system or third-party header;
# - the consumer in tests/consumer builds once with CMake (find_package(vxl)) and once with
#   pkg-config (--static), and both builds run and print what the consumer expects.
# Environment: BUILD_DIR (default: build), already built.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-build}"
[[ "$build" == /* ]] || build="$root/$build"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

cmake --install "$build" --prefix "$prefix" >"$work/install.log"
echo "installed into a temporary prefix: $(find "$prefix/include" -name '*.h' | wc -l) headers," \
  "$(find "$prefix/lib" -name 'libvxl_*.a' | wc -l) archives"

pattern='#[[:space:]]*include[[:space:]]*<(SDL2/|SDL|png\.h|jpeglib|jerror|ft2build|freetype/|AL/|GL/|X11/|enet/|vorbis/|ogg/|unistd|sys/|pthread|dlfcn|poll|fcntl|signal\.h)'
if leaks="$(cd "$root/src" && grep -rlE "$pattern" --include='*.h' . | grep -v '^./platform/' | grep -v '^./app/')"; then
  echo "headers outside the native layers include system or library headers:" >&2
  echo "$leaks" >&2
  exit 1
fi
if [ -n "$(find "$prefix/include" -path '*support*' -name '*.h')" ]; then
  echo "test support headers were installed" >&2
  exit 1
fi

failed=0
while IFS= read -r header; do
  if ! echo "#include <$header>" | g++ -std=c++20 -fsyntax-only -I"$prefix/include/vxl" \
      -I"$prefix/include" -x c++ - 2>"$work/header.log"; then
    echo "$header does not compile on its own:" >&2
    head -n 5 "$work/header.log" >&2
    failed=1
  fi
done < <(cd "$prefix/include" && find vxl -name '*.h' | sort)
[ "$failed" = 0 ] || exit 1
echo "every installed header compiles on its own"

consumer="$root/tests/consumer"
cmake -S "$consumer" -B "$work/cmake-build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >"$work/consumer.log" 2>&1 ||
  { cat "$work/consumer.log" >&2; exit 1; }
cmake --build "$work/cmake-build" >>"$work/consumer.log" 2>&1 || { cat "$work/consumer.log" >&2; exit 1; }

export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
# shellcheck disable=SC2046
g++ -o "$work/consumer-pc" "$consumer/consumer.cpp" $(pkg-config --cflags vxl) \
  $(pkg-config --static --libs vxl)

expected="$consumer/expected_output.txt"
for program in "$work/cmake-build/consumer" "$work/consumer-pc"; do
  (cd "$work" && "$root/tests/support/test_devices.sh" --display "$program") >"$work/output.txt" 2>&1 ||
    { echo "$program failed:" >&2; cat "$work/output.txt" >&2; exit 1; }
  if ! diff -u "$expected" "$work/output.txt" >&2; then
    echo "$program printed something else than $expected" >&2
    exit 1
  fi
done
echo "the consumer builds with CMake and with pkg-config, and both run"
