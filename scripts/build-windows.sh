#!/usr/bin/env bash
# Builds the updater for Windows x86_64 with mingw-w64 into build-windows/ and prints the path of
# orvupdate.exe. Extra arguments go to CMake (for example -DORV_CURL_SOURCE=/path/curl.tar.xz).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DORV_WARNINGS_AS_ERRORS=ON "$@" >/dev/null
cmake --build build-windows --target orvupdate
echo "$PWD/build-windows/orvupdate.exe"
