#!/usr/bin/env bash
# The Windows arena as a player meets it, under Wine on a virtual display:
# karnwick.exe writes a demo set, the arena opens on it, a monster is chosen
# on each side, FIGHT is pressed, and the battle's account must fill the log.
# The window is kept as build-windows/arena.png (and as docs/windows.png, the
# README's picture, with KARNWICK_UPDATE_SCREENSHOT=1).
#
#   scripts/windows-arena-check.sh   (after scripts/build-windows.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=$root/build-windows
scripts/install-deps.sh xvfb openbox xdotool imagemagick >/dev/null

export WINEPREFIX=$build/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# The programs run from the unzipped folder, as a player would run them.
stage=$(find "$build/stage" -mindepth 1 -maxdepth 1 -type d -name 'karnwick-*-win64' | head -n 1)
[ -n "$stage" ] || {
    echo "windows-arena-check: no unzipped programs under $build/stage: run scripts/build-windows.sh" >&2
    exit 1
}
work=$(mktemp -d)
display_file=$work/display
cleanup() {
    wineserver -k 2>/dev/null || true
    [ -z "${xvfb:-}" ] || kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "windows-arena-check: $*" >&2
    [ -z "${window:-}" ] || import -window root "$build/arena-failed.png" 2>/dev/null || true
    exit 1
}

Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
xvfb=$!
for _ in $(seq 50); do [ -s "$display_file" ] && break; sleep 0.1; done
[ -s "$display_file" ] || fail "Xvfb did not start"
export DISPLAY=:$(cat "$display_file")
openbox >/dev/null 2>&1 &
# Wine's programs share the display of the first one its server started
# (the tests ran without one): a server of this display's own.
wineserver -k 2>/dev/null || true

wine "$stage/karnwick.exe" demo-data "$(winepath -w "$work/demo")" >/dev/null ||
    fail "karnwick.exe demo-data failed"

wine "$stage/karnwick-arena.exe" "$(winepath -w "$work/demo")" >"$work/arena.log" 2>&1 &
disown  # ended with the Wine server, without a word from the shell
window=$(timeout 60 xdotool search --sync --name '^Karnwick Battle Arena$' | head -n 1) ||
    fail "the arena's window did not open: $(cat "$work/arena.log")"
sleep 2
xdotool windowactivate --sync "$window" 2>/dev/null || true

# The log's inside, in the window: white before the battle, lines after it.
log_ink() {
    import -window "$window" "$work/shot.png"
    convert "$work/shot.png" -crop 280x240+180+80 -colorspace Gray -threshold 60% \
        -format '%[fx:1-mean]' info:
}
before=$(log_ink)
awk -v ink="$before" 'BEGIN { exit !(ink < 0.001) }' || fail "the log is not empty before FIGHT (ink $before)"

# Both "Pick Monster" boxes, a monster each, then FIGHT.
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; sleep 0.7; }
click 60 155
xdotool key Down Down Return
sleep 0.7
click 596 155
xdotool key Down Down Down Down Return
sleep 0.7
click 336 401
sleep 2

ink=$(log_ink)
awk -v ink="$ink" 'BEGIN { exit !(ink > 0.01) }' || fail "FIGHT wrote no battle into the log (ink $ink)"
import -frame -window "$window" "$build/arena.png" 2>/dev/null || cp "$work/shot.png" "$build/arena.png"
[ "${KARNWICK_UPDATE_SCREENSHOT:-}" != 1 ] || cp "$build/arena.png" docs/windows.png
echo "windows-arena-check: the arena chose two monsters and fought (log ink $ink); window in $build/arena.png"
