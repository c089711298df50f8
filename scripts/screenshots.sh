#!/bin/sh
# Makes the README's pictures, resources/screenshots/*.png: tavik-screenshots
# walks the road of one run in the real window, from an empty data folder,
# with the simulated device, finding every widget by its object name, and
# saves the window's own drawing on a 1280x800 screen with no display.
# Run from the root of a built clone. The device's ports are fixed, so run it
# where nothing else holds them, for example in a network namespace:
#   unshare -rn sh -c 'ip link set lo up; scripts/screenshots.sh'
set -eu
home=$(mktemp -d)
sim=
trap '[ -n "$sim" ] && kill "$sim" 2>/dev/null; rm -rf "$home"' EXIT
export HOME="$home" XDG_DATA_HOME="$home/.local/share" XDG_CONFIG_HOME="$home/.config"
cat > "$home/screen.json" <<'JSON'
{"screens": [{"name": "laptop", "x": 0, "y": 0, "width": 1280, "height": 800,
              "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]}
JSON
build/tools/tavik-sim/tavik-sim --serial 4711 --announce-interval-ms 1000 > "$home/sim.log" 2>&1 &
sim=$!
QT_QPA_PLATFORM="offscreen:configfile=$home/screen.json" \
    build/tools/screenshots/tavik-screenshots resources/screenshots
