#!/usr/bin/env bash
# Builds the Windows programs and their tests into build-windows/, cross-compiled
# with Debian's mingw-w64 compilers against the Qt and FFTW that
# scripts/windows-toolchain.sh builds once and caches.
#
#   scripts/build-windows.sh [--core]
#
# --core builds the engine (data/, battle/, the demo set maker) and its tests
# alone, which need FFTW but no Qt. Tests run under Wine: see
# scripts/test-windows.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=$root/build-windows

core=OFF
toolchain_args=()
if [ "${1:-}" = --core ]; then
    core=ON
    toolchain_args=(--core)
fi
eval "$(scripts/windows-toolchain.sh "${toolchain_args[@]}")"

prefixes=$KARNWICK_WINDOWS_FFTW
[ -z "$KARNWICK_WINDOWS_QT" ] || prefixes="$KARNWICK_WINDOWS_QT;$prefixes"

# The tests run under Wine, in a Wine prefix of the build's own, never the
# user's; with no display and no debug chatter.
emulator="env;WINEPREFIX=$build/wine;WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=;DISPLAY=;wine"

if [ -f "$build/CMakeCache.txt" ] && ! grep -qx "KARNWICK_CORE_ONLY:BOOL=$core" "$build/CMakeCache.txt"; then
    # Qt arrived (or went): the cached search results are the other build's.
    rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
fi
cmake -G Ninja -S "$root" -B "$build" \
    -DCMAKE_TOOLCHAIN_FILE="$KARNWICK_WINDOWS_TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$prefixes" -DCMAKE_FIND_ROOT_PATH="$prefixes" \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$emulator" \
    -DKARNWICK_CORE_ONLY="$core" -DKARNWICK_BUILD_BENCH=OFF \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build "$build" --parallel "${KARNWICK_JOBS:-2}"
