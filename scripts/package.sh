#!/bin/sh
# Builds the Debian packages of TavikStudio from build/ (or the folder given)
# and leaves them in that folder's package/ subfolder, for example
# build/package/tavikstudio_6.9.2-1_amd64.deb and tavik-sim_6.9.2-1_amd64.deb.
# Needs dpkg-dev and file, which scripts/install-deps.sh installs.
set -eu
cd "$(dirname "$0")/.."
folder="${1:-build}"
case "$folder" in
    /*) output="$folder/package" ;;
    *) output="$PWD/$folder/package" ;;
esac
# Times in the packages, and in the resources built into the program, are
# the commit's, so that the same commit gives the same bytes
# (scripts/compare-packages.sh checks it).
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git rev-parse --git-dir > /dev/null 2>&1; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
    export SOURCE_DATE_EPOCH
fi
scripts/build.sh "$folder"
cpack -G DEB --config "$folder/CPackConfig.cmake" -B "$output"
ls "$output"/*.deb
