#!/bin/bash
# Runs the converter on a generated sample: installs what the build needs,
# builds crzconv and the sample generator, writes a version-2 catalogue of
# a few thousand records under out/demo/, converts it into a version-3
# catalogue there (the backup copy goes there too: HOME is pointed at that
# folder for the run) and says what it did.
#
#   ./scripts/demo.sh [RECORDS]      default 3000 records
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
records="${1:-3000}"
"$root/scripts/install-deps.sh"
build="$root/build/release"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target crzconv make_sample -j "$(nproc)"

work="$root/out/demo"
rm -rf "$work"
mkdir -p "$work"
source="$work/catalogue-v2.crz"
target="$work/catalogue-v3.crz"

echo "== make_sample $source $records"
"$build/tools/make_sample" "$source" "$records"

echo "== crzconv $source $target"
start=$EPOCHREALTIME
status=0
HOME="$work" "$build/app/crzconv/crzconv" "$source" "$target" 2>"$work/crzconv.log" || status=$?
end=$EPOCHREALTIME
tr '\r' '\n' <"$work/crzconv.log" | grep -v '^$' | tail -n 3 >&2
if [ "$status" -ne 0 ]; then
  echo "== crzconv failed (exit status $status)" >&2
  exit "$status"
fi
printf '== converted %s records in %.2f s\n' "$records" "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')"
echo "   source: $source ($(stat -c %s "$source") bytes)"
echo "   target: $target ($(stat -c %s "$target") bytes, all keys built)"
echo "   backup: $work/crzconv.bak"
