#!/usr/bin/env bash
# karnwick-pictures.so must hold only the pictures and the charts: whatever of
# the program's own code it held again would be a second copy, with its own
# folder lock and its own list of temporary files to clean up on a signal,
# which the program's copy would never see. So no function or variable may be
# defined in both (inline code, emitted as weak symbols, does not count).
set -euo pipefail
program=$1 module=$2

# The linker's own marks (_end, __bss_start, ...) are in every binary.
strong() {
  nm -D --defined-only "$1" | awk '$2 ~ /^[TDBR]$/ && $3 !~ /^(__bss_start|_edata|_end|_init|_fini)$/ { print $3 }' |
    sort -u
}
twice=$(comm -12 <(strong "$program") <(strong "$module") | c++filt)
if [ -n "$twice" ]; then
  echo "defined both in the program and in the pictures library:"
  echo "$twice"
  exit 1
fi
