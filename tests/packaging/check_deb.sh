#!/bin/sh
# Builds the DEB from an already built tree and lets lintian judge it: any
# error or warning fails. Skipped (exit 77) where lintian is not installed.
# Usage: check_deb.sh CPACK CPACK_CONFIG OUTPUT_DIR
set -eu
cpack=$1 config=$2 out=$3
if ! command -v lintian >/dev/null 2>&1; then
  echo "lintian is not installed; the package is not checked"
  exit 77
fi
rm -rf "$out"
mkdir -p "$out"
if ! "$cpack" -G DEB --config "$config" -B "$out" >"$out/cpack.log" 2>&1; then
  cat "$out/cpack.log"
  exit 1
fi
lintian --fail-on error,warning "$out"/*.deb
