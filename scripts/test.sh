#!/usr/bin/env bash
# The test command: set-up, configure, build (warnings are errors), run every test with ctest.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -G Ninja -DORV_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build build
ctest --test-dir build --output-on-failure "$@"
