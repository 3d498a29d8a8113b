#!/bin/sh
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each in turn for SECONDS (default 60).
# Each target grows its own working corpus in build-fuzz/corpus/<target>,
# seeded from fuzz/corpus/<target>; whatever breaks an invariant lands in
# build-fuzz/findings/<target>/ and makes the script fail.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=${*:-"palette record sprite battle command csv odds"}

# clang and its libFuzzer runtime are needed here only, not by ./test.sh.
scripts/install-deps.sh clang libclang-rt-14-dev
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 --target $(for t in $targets; do printf '%s_fuzz ' "$t"; done)

failed=""
for t in $targets; do
    corpus="$root/build-fuzz/corpus/$t"
    findings="$root/build-fuzz/findings/$t"
    mkdir -p "$corpus" "$findings"
    echo "== $t: $seconds s"
    # Paths are absolute: the command target changes into a game folder of its own.
    if ! "$root/build-fuzz/fuzz/${t}_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
            -artifact_prefix="$findings/" "$corpus" "$root/fuzz/corpus/$t"; then
        failed="$failed $t"
    fi
done
if [ -n "$failed" ]; then
    echo "Invariants broken in:$failed (inputs in build-fuzz/findings/)" >&2
    exit 1
fi
