#!/bin/bash
# Makes resources/screenshots/{preset,program,client}-tab.png: the road of
# one run walked in the real program under Xvfb, from an empty data folder
# with the simulated device: a client, a preset and a program made through
# the widgets, the program sent to the device and started, the run in the
# client's history.
# Needs xvfb, xdotool and imagemagick; run from the root of a built clone:
#   xvfb-run -a -s '-screen 0 1260x840x24' scripts/screenshot-library-tabs.sh
# The clicks are widget centres of the 1100x760 window at the screen's corner.
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
xdotool windowsize "$window" 1100 760
sleep 1

click() { xdotool mousemove "$1" "$2" click 1; sleep 0.7; }
type_into() { click "$1" "$2"; xdotool key ctrl+a; xdotool type --delay 30 "$3"; sleep 0.3; }
shot() { sleep 1; import -window root "$home/shot.png"; convert "$home/shot.png" -crop 1100x760+0+0 +repage "$root/resources/screenshots/$1"; }

# The client.
click 86 28                                  # "Client selection"
click 68 691                                 # New
type_into 199 110 "Ada"                      # name
type_into 547 131 "Main Street 1"            # address
# The preset, in the General pool.
click 592 28                                 # "Preset Selection"
click 926 115                                # General
click 68 691                                 # New
type_into 448 110 "Sun"                      # name
type_into 486 207 "1"                        # work time
type_into 874 207 "4321"                     # frequency
type_into 547 464 "Morning calm"             # notes
shot preset-tab.png
# The program, in the general pool, with the preset added.
click 326 28                                 # "Program selection"
click 926 115                                # General
click 68 691                                 # New
type_into 388 110 "Day"                      # name
type_into 547 233 "Ten minutes at noon"      # notes
click 78 691                                 # Add Preset: the preset list
click 995 691                                # Add To Program
click 463 28                                 # "Program"
shot program-tab.png
# Program To Work once the device is connected, Start, and the history.
sleep 6
click 989 691                                # Program To Work: the Work tab
click 642 126                                # Start
sleep 2
click 200 28                                 # "Client"
shot client-tab.png

kill $app; sleep 1; kill $sim
rm -rf "$home"
