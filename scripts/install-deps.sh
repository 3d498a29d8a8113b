#!/usr/bin/env bash
# Installs, with apt-get, whatever of the build and test tools a fresh
# Debian 12 machine lacks. Packages already present are left alone. With
# --programs first, only what the release build of the two programs needs
# (as ./run.sh builds them); any other arguments are more packages.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev libfftw3-dev libfontconfig-dev
  fonts-liberation fonts-dejavu-core
)
if [ "${1:-}" = "--programs" ]; then
  shift
else
  # The tests, the benchmarks, the fuzz targets' exact odds and the package's checks.
  packages+=(libgtest-dev libgmock-dev libbenchmark-dev libgmp-dev
             desktop-file-utils dpkg-dev file appstream lintian bash-completion)
fi
[ "$#" -gt 0 ] && packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ "${#missing[@]}" -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
