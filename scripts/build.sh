#!/bin/sh
# Configures and builds TavikStudio in build/ (or the folder given).
set -eu
cd "$(dirname "$0")/.."
folder="${1:-build}"
shift 2>/dev/null || true
cmake -S . -B "$folder" "$@"
cmake --build "$folder" -j2
