#!/bin/bash
# Runs the converter on a built-in sample: installs what the build needs,
# builds crzconv, and converts the version-2 sample catalogue of the test
# data into a version-3 catalogue under out/demo/ (the backup copy goes
# there too: HOME is pointed at that folder for the run).
#
# While the engine does not yet carry out every operation the conversion
# uses, crzconv stops with "Error: Unsupported File Driver Function"; that
# outcome is expected and reported as such (exit status 0). Any other error
# makes this script fail.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
build="$root/build/release"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target crzconv -j "$(nproc)"

work="$root/out/demo"
rm -rf "$work"
mkdir -p "$work"
source="$work/catalogue-v2.crz"
target="$work/catalogue-v3.crz"
sample="$root/tests/data/catalogue-v2-50.crz"
if [ -f "$sample" ]; then
  cp "$sample" "$source"
else
  : >"$source"  # a placeholder until the sample catalogue is in the tree
fi

echo "== crzconv $source $target"
status=0
HOME="$work" "$build/app/crzconv/crzconv" "$source" "$target" 2>"$work/crzconv.log" || status=$?
cat "$work/crzconv.log" >&2
if [ "$status" -eq 0 ]; then
  echo "== converted: $target ($(stat -c %s "$target") bytes); backup: $work/crzconv.bak"
elif grep -qx "Error: Unsupported File Driver Function" "$work/crzconv.log"; then
  echo "== expected stop: the engine does not carry out this operation yet"
else
  echo "== crzconv failed (exit status $status)" >&2
  exit "$status"
fi
