#!/usr/bin/env bash
# The Windows installer as a user runs it, under Wine in a fresh prefix: a
# silent install for the user alone with karnwick.exe on the PATH, karnwick.exe
# run from there, then the uninstaller, which must leave nothing behind: no
# file, no Start menu entry, no PATH entry, no registry key.
#
#   scripts/windows-installer-check.sh   (after scripts/build-windows.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(pwd)/build-windows
setup=$(find "$build" -maxdepth 1 -name 'karnwick-*-setup.exe' | head -n 1)
[ -n "$setup" ] || {
    echo "windows-installer-check: no installer in $build: run scripts/build-windows.sh" >&2
    exit 1
}
export WINEPREFIX=$build/wine-installer WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
rm -rf "$WINEPREFIX"
trap 'wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
fail() {
    echo "windows-installer-check: $*" >&2
    exit 1
}
wineboot -i >/dev/null 2>&1

wine "$setup" /S /CurrentUser /PATH || fail "the silent install failed"
folder=$(wine cmd /c 'echo %LOCALAPPDATA%\Programs\Karnwick' 2>/dev/null | tr -d '\r')
installed=$(winepath -u "$folder")
version=$(wine "$installed/karnwick.exe" --version | tr -d '\r') || fail "karnwick.exe does not run"
path=$(wine reg query 'HKCU\Environment' /v Path 2>/dev/null | tr -d '\r')
[[ $path == *"$folder"* ]] || fail "karnwick.exe's folder is not on the PATH: $path"
menu=$(winepath -u "$(wine cmd /c 'echo %APPDATA%\Microsoft\Windows\Start Menu\Programs' | tr -d '\r')")
for entry in "Karnwick Battle Arena" "Karnwick Balance"; do
    [ -f "$menu/$entry.lnk" ] || fail "no Start menu entry \"$entry\""
done

wine "$installed/uninstall.exe" /S /CurrentUser || fail "the uninstaller failed"
# The uninstaller finishes in a copy of itself that it starts and leaves.
for _ in $(seq 50); do [ -e "$installed" ] || break; sleep 0.2; done
[ ! -e "$installed" ] || fail "the uninstaller left $(find "$installed" | head -n 5 | tr '\n' ' ')"
[ ! -e "$menu/Karnwick Battle Arena.lnk" ] && [ ! -e "$menu/Karnwick Balance.lnk" ] ||
    fail "the uninstaller left the Start menu entries"
path=$(wine reg query 'HKCU\Environment' /v Path 2>/dev/null | tr -d '\r')
[[ $path != *"$folder"* ]] || fail "the uninstaller left the PATH entry: $path"
! wine reg query 'HKCU\Software\Karnwick' >/dev/null 2>&1 || fail "the uninstaller left its registry key"
echo "windows-installer-check: $version installed, run and uninstalled without a trace"
