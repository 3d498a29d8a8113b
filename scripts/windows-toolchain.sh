#!/usr/bin/env bash
# Builds, once, what the Windows build of the arena and karnwick links against:
# Qt (Core, Gui, Widgets) and FFTW, cross-compiled with Debian's mingw-w64
# compilers from Debian's own source packages, and nothing fetched from
# anywhere else. Each is cached outside the tree under a name that carries a
# hash of its recipe, so a run with everything cached returns at once and a
# change to a recipe (or to cmake/mingw-w64.cmake) builds afresh.
#
#   scripts/windows-toolchain.sh [--core] [--cached]
#
# --core: FFTW only, for a build of the engine alone (KARNWICK_CORE_ONLY), which
# then needs neither Qt nor the hour its build takes; KARNWICK_WINDOWS_QT is
# then empty.
# --cached: builds and installs nothing; reports as usual when everything is
# in the cache, else exits with status 3.
#
# Progress goes to standard error; standard output gets only the result, as
# shell assignments, so that a build script can take it in with
#   eval "$(scripts/windows-toolchain.sh)"
#
# KARNWICK_WINDOWS_CACHE  the cache (default ~/.cache/karnwick/windows)
# KARNWICK_DEBIAN_MIRROR  where Debian's sources come from (default: the Debian
#                         mirror this machine's own apt sources already use)
# KARNWICK_JOBS           parallel compile jobs (default 2)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

cache=${KARNWICK_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/karnwick/windows}
jobs=${KARNWICK_JOBS:-2}
want_qt=1
cached_only=0
for argument in "$@"; do
    case $argument in
    --core) want_qt=0 ;;
    --cached) cached_only=1 ;;
    *)
        printf 'windows-toolchain: unknown argument %s\n' "$argument" >&2
        exit 2
        ;;
    esac
done
toolchain=$root/cmake/mingw-w64.cmake
triplet=x86_64-w64-mingw32
# Qt for Windows must be the version of the Linux host tools (moc, rcc, uic) it
# is built and used with, which is bookworm's; FFTW is bookworm's too.
suite=bookworm
qt_version=6.4.2
fftw_version=3.3.10

say() { printf '%s\n' "$*" >&2; }
die() {
    say "windows-toolchain: $*"
    exit 1
}

# --- The recipes. Everything inside these two functions is hashed into the
# --- name of the cache entry it produces; comments are not.

# Only Core, Gui and Widgets, with Qt's own copies of zlib, libpng, pcre2,
# harfbuzz and freetype so that nothing but Qt's DLLs has to ship. Tablet events
# are off because Debian's source leaves out the tablet header the Windows
# platform plugin includes; dynamic GL is off because with OpenGL off the plugin
# does not compile otherwise.
qt_recipe() {
    local src=$1 build=$2 stage=$3 prefix=$4
    nice -n 19 cmake -G Ninja -S "$src" -B "$build" \
        -DCMAKE_TOOLCHAIN_FILE="$cached_toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DQT_QMAKE_TARGET_MKSPEC=win32-g++ -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DFEATURE_sql=OFF -DFEATURE_network=OFF \
        -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF \
        -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
        -DFEATURE_icu=OFF -DFEATURE_testlib=OFF -DFEATURE_vulkan=OFF -DFEATURE_jpeg=OFF \
        -DFEATURE_tabletevent=OFF -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF \
        -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
        -DFEATURE_system_freetype=OFF
    nice -n 19 cmake --build "$build" --parallel "$jobs"
    DESTDIR=$stage cmake --install "$build"
}

# Double precision, shared. A DLL may leave no symbol unresolved, so the thread
# functions go into the one libfftw3 DLL rather than a second library. SSE2
# only: GCC does not align the Windows x64 stack for AVX's 32-byte spills, and
# AVX kernels built this way crash at random. The C runtime has no aligned
# malloc that FFTW's configure recognises, so FFTW aligns its own. The flags
# are named so that FFTW's configure does not tune for whichever machine builds.
fftw_recipe() {
    local src=$1 build=$2 stage=$3 prefix=$4
    mkdir -p "$build"
    (cd "$build" && nice -n 19 "$src/configure" --host="$triplet" --prefix="$prefix" \
        CC="$triplet-gcc-posix" CFLAGS="-O3 -fomit-frame-pointer -fstrict-aliasing" \
        --enable-shared --disable-static --enable-threads --with-combined-threads \
        --enable-sse2 --with-our-malloc --disable-fortran --disable-doc)
    nice -n 19 make -C "$build" -j"$jobs"
    make -C "$build" install DESTDIR="$stage"
}

# --- The rest fetches the sources and keeps the cache sound.

recipe_hash() {
    { declare -f "$1"; cat "$toolchain"; } | sha256sum | cut -c1-12
}

qt_prefix=$cache/qt-$qt_version-$(recipe_hash qt_recipe)
fftw_prefix=$cache/fftw-$fftw_version-$(recipe_hash fftw_recipe)

report() {
    printf 'KARNWICK_WINDOWS_TOOLCHAIN=%q\n' "$toolchain"
    if [ "$want_qt" = 1 ]; then
        printf 'KARNWICK_WINDOWS_QT=%q\n' "$qt_prefix"
    else
        printf 'KARNWICK_WINDOWS_QT=\n'
    fi
    printf 'KARNWICK_WINDOWS_FFTW=%q\n' "$fftw_prefix"
}
all_cached() {
    [ -d "$fftw_prefix" ] && { [ "$want_qt" = 0 ] || [ -d "$qt_prefix" ]; }
}
if [ "$cached_only" = 1 ]; then
    all_cached || exit 3
    report
    exit 0
fi

# The cross compilers, the Linux Qt host tools the Windows Qt is built with,
# Wine to run the result, and what packages it: NSIS, zip, and groff for the
# man pages as text. make builds FFTW. Installed even when the toolchain is
# cached, since a cache may outlive the machine's packages.
scripts/install-deps.sh g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
    binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev wine64 nsis zip groff-base make
host_tools=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)
case $host_tools in
"$qt_version" | "$qt_version"[+-]*) ;;
*) die "the Linux Qt host tools are $host_tools; the Windows Qt is $qt_version and needs the same" ;;
esac
if all_cached; then
    report
    exit 0
fi

mkdir -p "$cache"
# Two runs at once would build the same thing into the same work folder.
exec 9>"$cache/.lock"
if ! flock -n 9; then
    say "Waiting for another run of the Windows toolchain build to finish..."
    flock 9
    if all_cached; then
        report
        exit 0
    fi
fi

# Qt's installed CMake files name the toolchain file Qt was built with; a copy
# in the cache, named by its content, outlives the clone that made it.
cached_toolchain=$cache/mingw-w64-$(sha256sum <"$toolchain" | cut -c1-12).cmake
if [ ! -f "$cached_toolchain" ]; then
    cp "$toolchain" "$cached_toolchain.new"
    mv "$cached_toolchain.new" "$cached_toolchain"
fi

# The Debian mirror this machine's apt already uses, from either source format.
find_debian_mirror() {
    local f
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -r "$f" ] || continue
        awk -v suite="$suite" '
            $1 == "deb" || $1 == "deb-src" {
                i = 2
                if ($i ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
                if ($(i + 1) != suite) next
                for (j = i + 2; j <= NF; j++) if ($j == "main") { print $i; exit }
            }' "$f"
    done
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -r "$f" ] || continue
        awk -v suite="$suite" '
            BEGIN { RS = ""; FS = "\n" }
            {
                delete v
                for (i = 1; i <= NF; i++) {
                    if ($i ~ /^[ \t]*#/ || index($i, ":") == 0) continue
                    key = tolower(substr($i, 1, index($i, ":") - 1))
                    value = " " substr($i, index($i, ":") + 1) " "
                    gsub(/[ \t]+/, " ", value)
                    v[key] = value
                }
                if (v["enabled"] ~ / no /) next
                if (v["types"] ~ / deb(-src)? / && v["suites"] ~ (" " suite " ") &&
                    v["components"] ~ / main /) {
                    split(v["uris"], uri, " ")
                    print uri[1]
                    exit
                }
            }' "$f"
    done
}

mirror=${KARNWICK_DEBIAN_MIRROR:-$(find_debian_mirror | head -n 1)}
[ -n "$mirror" ] || die "no Debian $suite main mirror in /etc/apt/sources.list*; name one in KARNWICK_DEBIAN_MIRROR"

# A private apt configuration, so that the machine's own sources stay as they
# are: it knows only the source packages of the suite, signed by Debian's key.
apt_dir=$cache/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/sources.list.d"
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror $suite main" \
    >"$apt_dir/sources.list"
{
    echo "Dir::Etc::SourceList \"$apt_dir/sources.list\";"
    echo "Dir::Etc::SourceParts \"$apt_dir/sources.list.d\";"
    echo "Dir::State::Lists \"$apt_dir/lists\";"
    echo "Dir::Cache \"$apt_dir/cache\";"
    # apt's unprivileged download user cannot reach a cache in root's home.
    [ "$(id -u)" -ne 0 ] || echo 'APT::Sandbox::User "root";'
} >"$apt_dir/apt.conf"
export APT_CONFIG=$apt_dir/apt.conf
apt-get update -q >&2

# Downloads (once) and unpacks (once) Debian's source package $1, whose
# upstream version must be $2, into the folder named by $fetched.
fetched=
fetch_source() {
    local package=$1 version=$2 dsc src
    dsc=$(apt-get source --print-uris -q "$package" | awk '$2 ~ /\.dsc$/ { print $2 }')
    case $dsc in
    "${package}_$version"[+-]*.dsc) ;;
    *) die "Debian's $suite offers ${dsc:-no source of $package}; this recipe is for $package $version" ;;
    esac
    mkdir -p "$cache/downloads" "$cache/src"
    (cd "$cache/downloads" && apt-get source --download-only -q "$package" >&2)
    src=$cache/src/${dsc%.dsc}
    if [ ! -d "$src" ]; then
        rm -rf "$src.unpacking"
        dpkg-source -x "$cache/downloads/$dsc" "$src.unpacking" >&2
        mv -T "$src.unpacking" "$src"
    fi
    fetched=$src
}

# Builds with recipe $1 from the sources in $2 into the cache entry $3. The
# work folder is kept across an interrupted run so that the next one picks up
# where it stopped; the entry appears, by one rename, only once fully installed.
build_entry() {
    local recipe=$1 src=$2 prefix=$3 name work started old
    name=$(basename "$prefix")
    work=$cache/work/$name
    started=$(date +%s)
    # A work folder left by an earlier recipe will never be finished.
    for old in "$cache/work/${name%-*}"-*; do
        [ "$old" = "$work" ] || rm -rf "$old"
    done
    say "Building $name (work folder $work)"
    mkdir -p "$work"
    rm -rf "$work/stage"
    "$recipe" "$src" "$work/build" "$work/stage" "$prefix" >&2
    [ -d "$work/stage$prefix" ] || die "$name: the install left nothing in $work/stage$prefix"
    mv -T "$work/stage$prefix" "$prefix"
    rm -rf "$work"
    say "Built $name in $(($(date +%s) - started)) s"
}

# FFTW first: minutes, against Qt's better part of an hour.
if [ ! -d "$fftw_prefix" ]; then
    fetch_source fftw3 "$fftw_version"
    build_entry fftw_recipe "$fetched" "$fftw_prefix"
fi
if [ "$want_qt" = 1 ] && [ ! -d "$qt_prefix" ]; then
    fetch_source qt6-base "$qt_version"
    build_entry qt_recipe "$fetched" "$qt_prefix"
fi
report
