#!/usr/bin/env bash
# Runs one Windows program under wine64 (CTest's emulator for build-win).
# Wine's client can lose its server connection while a process starts, which
# prints "wine client error" and fails before the program's first line runs;
# under load it has also failed that early without a word. That is Wine's
# fault, not the program's: a run that failed with that message, or with no
# output at all (every test program prints as it starts), is repeated (at
# most twice, said on stderr). Any other failure is the program's and stands.
set -u
WINE=${CORVANE_WINE:-/usr/lib/wine/wine64}
out=$(mktemp "${TMPDIR:-/tmp}/corvane-wine-run-XXXXXX")
trap 'rm -f "$out"' EXIT
for attempt in 1 2 3; do
    "$WINE" "$@" >"$out" 2>&1
    rc=$?
    if [ "$rc" -eq 0 ] || [ "$attempt" -eq 3 ] || { [ -s "$out" ] && ! grep -q "wine client error" "$out"; }; then
        cat "$out"
        exit "$rc"
    fi
    echo "wine-run: the program failed before its first line (Wine, rc $rc); running it again" >&2
done
