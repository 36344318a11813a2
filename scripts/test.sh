#!/usr/bin/env bash
# The test command: set-up, configure, build (warnings are errors), run the tests with ctest.
#   bash scripts/test.sh [CTEST ARGS]      every test: the Linux build in build/, then the Windows
#                                          build's tests under Wine
#   bash scripts/test.sh --linux [...]     the Linux build's tests only, in build/
#   bash scripts/test.sh --windows [...]   the Windows build's tests only, under Wine, in
#                                          build-windows/
#   bash scripts/test.sh --sanitize [...]  every test under AddressSanitizer (with its leak
#                                          checker) and UndefinedBehaviorSanitizer, in build-asan/
#   bash scripts/test.sh --sanitize=thread [...]
#                                          the engine and front-end tests, whose threads talk to
#                                          each other, under ThreadSanitizer, in build-tsan/ (with
#                                          CTEST ARGS the tests they select, "-R ." for all)
#   bash scripts/test.sh --all             all of these, then each fuzzer briefly (what CI runs)
# The sanitizers' options reach every test and the programs it starts through CTest
# (tests/CMakeLists.txt, tests/lsan.supp, tests/tsan.supp).
set -euo pipefail
cd "$(dirname "$0")/.."

mode=plain
case "${1:-}" in
    --sanitize | --sanitize=address) mode=address ;;
    --sanitize=thread) mode=thread ;;
    --all) mode=all ;;
    --windows) mode=windows ;;
    --linux) mode=linux ;;
    --sanitize=*)
        echo "test.sh: unknown sanitizer '${1#--sanitize=}' (address or thread)" >&2
        exit 2
        ;;
esac
if [ "$mode" != plain ]; then
    shift
fi

# build folder, then CMake options
configure() {
    local folder=$1
    shift
    cmake -S . -B "$folder" -G Ninja -DORV_WARNINGS_AS_ERRORS=ON "$@" >/dev/null
}

linux() {
    configure build
    cmake --build build
    ctest --test-dir build --output-on-failure "$@"
}

# One Wine prefix for the whole run, in a temporary folder (with the Chinese font linked in), and
# one Wine server kept up for it, so that each test program does not pay Wine's start-up.
wine_prefix=""
end_wine() {
    if [ -n "$wine_prefix" ]; then
        WINEPREFIX="$wine_prefix" wineserver -k 2>/dev/null || true
        rm -rf "$wine_prefix"
        wine_prefix=""
    fi
}
start_wine() {
    wine_prefix=$(mktemp -d "${TMPDIR:-/tmp}/orvupdate-wine.XXXXXX")
    trap end_wine EXIT
    export WINEPREFIX="$wine_prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    wineserver -p
    bash scripts/wine-prefix.sh
}

windows() {
    configure build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
    cmake --build build-windows
    start_wine
    local status=0
    ctest --test-dir build-windows --output-on-failure "$@" || status=$?
    end_wine
    return "$status"
}

plain() {
    linux "$@"
    windows "$@"
}

address() {
    configure build-asan -DORV_SANITIZE=address,undefined -DORV_BUILD_BENCH=OFF
    cmake --build build-asan
    ctest --test-dir build-asan --output-on-failure "$@"
}

thread() {
    configure build-tsan -DORV_SANITIZE=thread -DORV_BUILD_BENCH=OFF
    if [ $# -gt 0 ]; then
        # The tests that the arguments select ("-R ." for all).
        cmake --build build-tsan
        ctest --test-dir build-tsan --output-on-failure "$@"
        return
    fi
    # Only what these tests need: the test programs and the helpers they depend on.
    local selection='^(engine|ui)_'
    local targets
    targets=$(ctest --test-dir build-tsan -N -R "$selection" | sed -n 's/^ *Test *#[0-9]*: //p')
    # shellcheck disable=SC2086
    cmake --build build-tsan --target $targets
    ctest --test-dir build-tsan --output-on-failure -R "$selection"
}

bash scripts/setup.sh
case "$mode" in
    plain) plain "$@" ;;
    linux) linux "$@" ;;
    windows) windows "$@" ;;
    address) address "$@" ;;
    thread) thread "$@" ;;
    all)
        plain "$@"
        address "$@"
        thread
        bash scripts/fuzz.sh 20
        ;;
esac
