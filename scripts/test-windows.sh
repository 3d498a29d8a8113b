#!/usr/bin/env bash
# Builds the Windows programs when needed (scripts/build-windows.sh, which takes
# the same arguments) and runs their tests under Wine: headless, in a Wine
# prefix of the build's own under build-windows/, from whatever folder this is
# started in.
#
#   scripts/test-windows.sh [--core] [ctest arguments...]
#
# Without --core, the arena is then tried in a window
# (scripts/windows-arena-check.sh) and the installer installs and uninstalls
# (scripts/windows-installer-check.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(pwd)/build-windows

build_args=()
if [ "${1:-}" = --core ]; then
    build_args=(--core)
    shift
fi
scripts/build-windows.sh "${build_args[@]}"

# The same environment as the tests' own (CMAKE_CROSSCOMPILING_EMULATOR), so
# the prefix made here is the one they run in. No Mono or Gecko: a first run
# would otherwise offer to download them.
export WINEPREFIX=$build/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "== Making the Wine prefix $WINEPREFIX"
    wineboot -i >/dev/null 2>&1
fi
status=0
ctest --test-dir "$build" --output-on-failure "$@" || status=$?
# This prefix's server only; it would otherwise linger for a few seconds.
wineserver -k 2>/dev/null || true
# The arena in a window, as a player meets it, and the installer there and back.
if [ "${#build_args[@]}" -eq 0 ]; then
    scripts/windows-arena-check.sh || status=1
    scripts/windows-installer-check.sh || status=1
fi
exit "$status"
