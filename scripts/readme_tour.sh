#!/usr/bin/env bash
# Pastes the tour programs' snippets (examples/tour/*.cpp, between "// tour:begin" and
# "// tour:end") into README.md between "<!-- tour:begin -->" and "<!-- tour:end -->", with each
# file's first comment line as the heading. --check changes nothing and fails when the README is
# out of date (CI runs it that way; the programs themselves are built with the examples).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
readme="$root/README.md"
section="$(mktemp)"
out="$(mktemp)"
trap 'rm -f "$section" "$out"' EXIT

for file in "$root"/examples/tour/*.cpp; do
  title="$(head -n 1 "$file" | sed -e 's|^// Tour: ||' -e 's|\.$||')"
  {
    echo
    echo "**${title^}** (\`examples/tour/$(basename "$file")\`)"
    echo
    echo '```cpp'
    sed -n '/\/\/ tour:begin/,/\/\/ tour:end/p' "$file" | sed -e '1d' -e '$d' -e 's/^  //'
    echo '```'
  } >>"$section"
done

awk -v section="$section" '
  /<!-- tour:begin -->/ { print; while ((getline line < section) > 0) print line; skip = 1; next }
  /<!-- tour:end -->/ { skip = 0 }
  !skip { print }
' "$readme" >"$out"

if ! grep -q '<!-- tour:begin -->' "$readme"; then
  echo "README.md has no <!-- tour:begin --> marker" >&2
  exit 1
fi
if [ "${1-}" = "--check" ]; then
  if ! diff -u "$readme" "$out" >&2; then
    echo "README.md's tour is out of date: run scripts/readme_tour.sh" >&2
    exit 1
  fi
  echo "README.md's tour matches examples/tour"
else
  cp "$out" "$readme"
fi
