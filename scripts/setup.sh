#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the demo need.
# Safe to run again: when everything is present it installs nothing and prints nothing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libcurl4-openssl-dev lzma-dev rapidjson-dev libssl-dev libcpp-httplib-dev
  libwxgtk3.2-dev fonts-wqy-microhei
  libgtest-dev libbenchmark-dev
  xvfb xauth x11-utils imagemagick
  nginx xz-utils lzma-alone curl
  # libFuzzer and clang's sanitizer runtimes for the fuzzers; llvm-symbolizer for readable reports
  clang libclang-rt-14-dev llvm
  # The Windows build (mingw-w64, GoogleTest's sources) and Wine, which runs its tests
  g++-mingw-w64-x86-64-posix mingw-w64-tools googletest wine wine64
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
