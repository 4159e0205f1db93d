#!/bin/bash
# Builds the project twice (plain, and with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs every test in both builds.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
jobs="$(nproc)"
for variant in release asan; do
  dir="$root/build/$variant"
  flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
  [ "$variant" = asan ] && flags+=(-DVANTROSE_SANITIZE=ON)
  cmake -S "$root" -B "$dir" "${flags[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "== tests ($variant)"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 600)
done
