#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite twice:
# in the dev preset and in the sanitizer preset (ASan + UBSan, no recovery).
# Then ThreadSanitizer over the engine, data and command tests, where the
# worker threads of the matrix and the sweep run (the tsan preset picks them).
# Last it builds the release preset, whose optimiser sees warnings that the
# debug builds never do; its tests are those that ran above.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

# Warnings are errors in every preset this runs (the dev, asan and tsan presets
# say so themselves), so nothing that warns can land.
for preset in dev asan; do
  echo "== ${preset}: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== ${preset}: test"
  ctest --preset "$preset" -j "$jobs"
done

echo "== tsan: configure, build and test"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs"
ctest --preset tsan -j "$jobs"

echo "== release: configure and build"
cmake --preset release -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build --preset release -j "$jobs"

# The Windows build under Wine, when its toolchain (an hour's build) is in the
# cache; otherwise one line says why it was skipped.
if scripts/windows-toolchain.sh --cached >/dev/null 2>&1; then
  echo "== windows: build and test under Wine"
  scripts/test-windows.sh
else
  echo "== windows: skipped: the Windows toolchain is not cached (scripts/windows-toolchain.sh builds it once, in about an hour)"
fi
