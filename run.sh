#!/usr/bin/env bash
# Installs what is missing, builds the release version and starts the arena on
# the demo set in build/demo/, writing the demo set there first if it is absent.
# To play on the game's own files instead, start build-release/karnwick-arena
# from the game's folder.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)

./scripts/install-deps.sh --programs
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target karnwick-arena karnwick

demo="$root/build/demo"
if [ ! -f "$demo/mypal.pal" ] || [ ! -f "$demo/monster.dat" ] || [ ! -f "$demo/monsters.tat" ]; then
  "$root/build-release/karnwick" demo-data --force "$demo"
fi
cd "$demo"
exec "$root/build-release/karnwick-arena" "$@"
