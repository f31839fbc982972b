#!/bin/bash
# Checks make_fixtures itself: it stops with the Debian package to install
# when a tool is missing, and it makes the same bytes again under another
# time zone and locale.
# Usage: check_generator.sh GENERATOR FIXTURE_FOLDER
set -u
generator=${1:?usage: check_generator.sh GENERATOR FIXTURE_FOLDER}
data=${2:?usage: check_generator.sh GENERATOR FIXTURE_FOLDER}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

ok() { passed=$((passed + 1)); }
bad() { echo "FAIL: $*"; failed=$((failed + 1)); }

if PATH=/nonexistent "$generator" "$work/none" 2>"$work/missing.err"; then
    bad "make_fixtures succeeds without its tools"
elif grep -q "install the Debian package jlha-utils" "$work/missing.err"; then
    ok
else
    bad "make_fixtures without lha says: $(cat "$work/missing.err")"
fi

if ! env -u SOURCE_DATE_EPOCH TZ=Asia/Tokyo LC_ALL=C "$generator" "$work/again" 2>"$work/again.err"; then
    bad "make_fixtures failed: $(cat "$work/again.err")"
else
    for made in "$work/again"/*; do
        name=$(basename "$made")
        case $name in
        # Made by 7z, which draws a random IV for each archive: the same
        # size every time, never the same bytes.
        encrypted.7z | encrypted_headers.7z)
            [ "$(stat -c %s "$made")" = "$(stat -c %s "$data/$name")" ] && ok ||
                bad "$name changes its size from one run to the next" ;;
        *) diff -r "$made" "$data/$name" >/dev/null && ok || bad "$name differs from one run to the next" ;;
        esac
    done
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
