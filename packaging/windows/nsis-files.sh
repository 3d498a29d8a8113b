#!/bin/sh
# Writes the installer's two file lists for a staged folder: what to install
# (install.nsh) and exactly what to remove again (uninstall.nsh), so that the
# uninstaller never removes a file it did not put there, even when the user
# chose a folder that holds other things.
#
#   packaging/windows/nsis-files.sh STAGE OUTDIR
set -eu
stage=$1
out=$2
cd "$stage"
{
    find . -mindepth 1 -type d | sort | sed 's|^\./||; s|/|\\|g' | while read -r dir; do
        printf 'CreateDirectory "$INSTDIR\\%s"\n' "$dir"
    done
    find . -type f | sort | sed 's|^\./||' | while read -r file; do
        win=$(printf '%s' "$file" | sed 's|/|\\|g')
        printf 'File "/oname=$INSTDIR\\%s" "%s/%s"\n' "$win" "$stage" "$file"
    done
} > "$out/install.nsh"
{
    find . -type f | sort | sed 's|^\./||; s|/|\\|g' | while read -r file; do
        printf 'Delete "$INSTDIR\\%s"\n' "$file"
    done
    # Deepest first, and only when empty: RMDir without /r keeps a folder
    # that holds something of the user's.
    find . -mindepth 1 -type d | sort -r | sed 's|^\./||; s|/|\\|g' | while read -r dir; do
        printf 'RMDir "$INSTDIR\\%s"\n' "$dir"
    done
} > "$out/uninstall.nsh"
