#!/bin/sh
# Builds the Debian package of TavikStudio from build/ (or the folder given)
# and leaves it in that folder's package/ subfolder, for example
# build/package/tavikstudio_6.9.2_amd64.deb. Needs dpkg-dev and file, which
# scripts/install-deps.sh installs.
set -eu
cd "$(dirname "$0")/.."
folder="${1:-build}"
case "$folder" in
    /*) output="$folder/package" ;;
    *) output="$PWD/$folder/package" ;;
esac
scripts/build.sh "$folder"
cpack -G DEB --config "$folder/CPackConfig.cmake" -B "$output"
ls "$output"/*.deb
