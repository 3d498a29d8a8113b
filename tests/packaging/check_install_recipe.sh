#!/bin/sh
# The README's install recipe on a build tree: build only what ./run.sh builds,
# then `cmake --install` and `cpack` must find everything they install, put the
# karnwick tool in bin and the arena in games, with the formats' documents and
# a completion for each program, and name each dependency once.
# Usage: check_install_recipe.sh SOURCE_DIR BUILD_DIR WORK_DIR
set -eu
source=$1 build=$2 work=$3
rm -rf "$work"
mkdir -p "$work"
fail() { echo "FAIL: $*"; exit 1; }

# A tree where only the programs were built: what install needs beside them
# is gone until that build makes it again.
rm -f "$build"/packaging/*.gz
targets=$(sed -n 's/^cmake --build --preset release.*--target //p' "$source/run.sh")
[ -n "$targets" ] || fail "run.sh builds no named targets"
# shellcheck disable=SC2086 # one word per target
cmake --build "$build" --target $targets >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "build"; }

prefix=$work/usr
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "cmake --install"; }
for file in bin/karnwick games/karnwick-arena \
    share/man/man1/karnwick.1.gz share/man/man6/karnwick-arena.6.gz \
    share/doc/karnwick-arena/json.md share/doc/karnwick-arena/copyright \
    share/bash-completion/completions/karnwick share/bash-completion/completions/karnwick-arena; do
  [ -f "$prefix/$file" ] || fail "cmake --install left out $file"
done
[ ! -e "$prefix/games/karnwick" ] || fail "karnwick is in games"
if [ -f "$source/docs/csv.md" ] && [ ! -f "$prefix/share/doc/karnwick-arena/csv.md" ]; then
  fail "cmake --install left out csv.md"
fi

# Packaging from the same tree after its build files went again: cpack
# builds what it packages.
rm -f "$build"/packaging/*.gz
(cd "$build" && cpack -G DEB -B "$work/deb") >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/deb/*.deb)
dpkg-deb -c "$deb" | grep -q ' ./usr/bin/karnwick$' || fail "the package has no /usr/bin/karnwick"
dpkg-deb -c "$deb" | grep -q ' ./usr/games/karnwick-arena$' || fail "the package has no /usr/games/karnwick-arena"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
repeated=$(echo "$depends" | tr ',' '\n' | sed 's/^ *//; s/ .*//' | sort | uniq -d)
[ -z "$repeated" ] || fail "Depends names $repeated more than once"
echo "the recipe works"
