#!/bin/sh
# Installs what building, running and testing TavikStudio needs from
# Debian 12's packages. Safe to run again: it installs only what is missing.
set -eu

packages="cmake g++ make git qt6-base-dev iputils-ping"
# The suite runs in a network namespace of its own with only loopback up.
packages="$packages iproute2 util-linux"
# The install test validates the desktop entry and the AppStream metadata and
# builds the Debian packages, whose dependencies dpkg-shlibdeps computes and
# which lintian checks.
packages="$packages desktop-file-utils appstream dpkg-dev file lintian"
# The download test makes its own TLS certificate.
packages="$packages openssl"
# Time-zone tests read the zone database.
packages="$packages tzdata"
# ICU: search transliterates names of other scripts, and the CSV import
# tells Windows code pages apart with its charset detector.
packages="$packages libicu-dev"
# The program asks for Arial; Liberation Sans has its metrics, so the window
# measures on Debian as it was laid out (DejaVu Sans, the stand-in, is wider).
packages="$packages fonts-liberation2"

missing=""
for package in $packages; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $package"
    fi
done

if [ -z "$missing" ]; then
    echo "All build packages are installed."
    exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
    as_root=""
else
    as_root="sudo"
fi
echo "Installing:$missing"
$as_root apt-get update
# shellcheck disable=SC2086
$as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
