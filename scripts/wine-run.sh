#!/usr/bin/env bash
# Runs a Windows program under Wine: CTest's emulator for the Windows build's tests.
# scripts/test.sh prepares one Wine prefix per test run and exports WINEPREFIX; run on its own,
# this takes a prefix of this user's in the temporary folder and creates it on first use.
set -euo pipefail
if [ -z "${WINEPREFIX:-}" ]; then
    export WINEPREFIX="${TMPDIR:-/tmp}/orvupdate-wine-$(id -u)"
fi
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"
