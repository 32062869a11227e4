#!/usr/bin/env bash
# Configures and builds one build tree:
#   scripts/build.sh DIR [cmake options...] [--target TARGET]
set -euo pipefail
dir=$1; shift
options=()
target=()
while (($#)); do
  if [ "$1" = "--target" ]; then target=(--target "$2"); shift 2; else options+=("$1"); shift; fi
done
cmake -S . -B "$dir" -G Ninja "${options[@]}" >/dev/null
cmake --build "$dir" "${target[@]}"
