#!/usr/bin/env bash
# Builds the Windows programs and their tests into build-windows/, cross-compiled
# with Debian's mingw-w64 compilers against the Qt and FFTW that
# scripts/windows-toolchain.sh builds once and caches, then packs what ships:
#
#   build-windows/karnwick-VERSION-win64.zip   both programs and every DLL they
#                                              need, unzipped anywhere and run
#   build-windows/karnwick-VERSION-setup.exe   the installer (NSIS)
#
#   scripts/build-windows.sh [--core]
#
# --core builds the engine (data/, battle/, the demo set maker) and its tests
# alone, which need FFTW but no Qt, and packs nothing. Tests run under Wine:
# see scripts/test-windows.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=$root/build-windows
triplet=x86_64-w64-mingw32

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
# user's; with no display and no debug chatter. The DLLs the programs need are
# found on the prefixes' bin folders, as Windows would find them beside them.
# A script rather than a list of words: CMake would split WINEPATH's
# semicolons.
wine_path="$KARNWICK_WINDOWS_FFTW/bin;$(dirname "$($triplet-g++-posix -print-file-name=libstdc++-6.dll)");/usr/$triplet/lib"
[ -z "$KARNWICK_WINDOWS_QT" ] || wine_path="$KARNWICK_WINDOWS_QT/bin;$wine_path"
mkdir -p "$build"
emulator=$build/run-under-wine
cat >"$emulator.new" <<SCRIPT
#!/bin/sh
export WINEPREFIX='$build/wine' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' WINEPATH='$wine_path'
unset DISPLAY
exec wine "\$@"
SCRIPT
chmod +x "$emulator.new"
mv "$emulator.new" "$emulator"

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
[ "$core" = OFF ] || exit 0

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=karnwick-$version-win64
stage=$build/stage/$name
rm -rf "$build/stage"
mkdir -p "$stage/platforms" "$stage/styles"

# The programs, Qt's three libraries and the two plugins a Widgets program
# loads (the Windows platform and its native style), FFTW, and the C++
# runtime of the compiler that built them all.
cp "$build/karnwick.exe" "$build/karnwick-arena.exe" "$stage/"
for module in Core Gui Widgets; do
    cp "$KARNWICK_WINDOWS_QT/bin/Qt6$module.dll" "$stage/"
done
cp "$KARNWICK_WINDOWS_QT/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$KARNWICK_WINDOWS_QT/plugins/styles/"*.dll "$stage/styles/"
cp "$KARNWICK_WINDOWS_FFTW/bin/libfftw3-3.dll" "$stage/"
for runtime in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    cp "$($triplet-g++-posix -print-file-name="$runtime")" "$stage/"
done

# Without the symbols the debugger alone would use (two thirds of the size).
find "$stage" -name '*.exe' -o -name '*.dll' | xargs $triplet-strip --strip-unneeded

# Every DLL a program or library imports ships beside it, or is Windows' own.
missing=$(
    cd "$stage"
    find . -name '*.exe' -o -name '*.dll' | while read -r file; do
        $triplet-objdump -p "$file" | sed -n 's/^\tDLL Name: //p'
    done | sort -u | while read -r dll; do
        # The API sets (api-ms-win-*) are names Windows itself resolves.
        case $dll in api-ms-win-* | ext-ms-*) continue ;; esac
        [ -e "$dll" ] || [ -e "/usr/$triplet/lib/lib${dll%.dll}.a" ] ||
            [ -e "/usr/$triplet/lib/lib$(printf '%s' "${dll%.dll}" | tr 'A-Z' 'a-z').a" ] ||
            printf '%s ' "$dll"
    done
)
[ -z "$missing" ] || {
    echo "build-windows: the zip would lack $missing" >&2
    exit 1
}

# The texts, with Windows line ends so that Notepad shows them whole.
text() { sed 's/$/\r/' >"$stage/$1"; }
text README.txt <README.md
text LICENSE.txt <LICENSE
for page in docs/karnwick.1 docs/karnwick-arena.6; do
    groff -man -Tascii -P-c -P-b -P-u "$page" | text "$(basename "${page%.*}").txt"
done

zip=$build/$name.zip
rm -f "$zip"
(cd "$build/stage" && zip -qrX9 "$zip" "$name")

lists=$build/stage/nsis
mkdir -p "$lists"
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DLISTS="$lists" \
    -DOUTFILE="$build/karnwick-$version-setup.exe" "$root/packaging/windows/karnwick.nsi"
echo "build-windows: $(du -k "$zip" | cut -f1) KiB $zip"
echo "build-windows: $(du -k "$build/karnwick-$version-setup.exe" | cut -f1) KiB $build/karnwick-$version-setup.exe"
