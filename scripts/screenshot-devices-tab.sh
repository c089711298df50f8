#!/bin/bash
# Makes resources/screenshots/devices-tab.png: the simulated device found and
# connected, shown on the Tavik tab of the real program under Xvfb.
# Needs xvfb, xdotool and imagemagick; run from the root of a built clone:
#   xvfb-run -a -s '-screen 0 1260x840x24' scripts/screenshot-devices-tab.sh
set -eu
root=$(pwd)
home=$(mktemp -d)
export HOME=$home XDG_DATA_HOME=$home/.local/share XDG_CONFIG_HOME=$home/.config
build/tools/tavik-sim/tavik-sim --serial 4711 --announce-interval-ms 1000 > "$home/sim.log" 2>&1 &
sim=$!
sleep 0.5
build/app/TavikStudio > "$home/app.log" 2>&1 &
app=$!
sleep 3
window=$(xdotool search --name TavikStudio | head -1)
xdotool windowmove "$window" 0 0
sleep 1
xdotool mousemove 786 30 click 1   # the "Tavik" tab
sleep 12
import -window root "$home/shot.png"
kill $app; sleep 1; kill $sim
convert "$home/shot.png" -crop 1100x760+0+0 +repage "$root/resources/screenshots/devices-tab.png"
rm -rf "$home"
