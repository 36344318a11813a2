#!/usr/bin/env bash
# The fuzzers: builds the libFuzzer harnesses of fuzz/ with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer (build-fuzz/) and runs each for SECONDS (default 60) on a copy of its
# seed corpus in fuzz/corpus/, which stays as committed. Fails when a harness finds a crash, a
# leak, a hang or a broken property; the input that did it is kept in build-fuzz/findings/.
#   bash scripts/fuzz.sh [SECONDS] [HARNESS...]
# Run one finding again: build-fuzz/fuzz/fuzz_HARNESS build-fuzz/findings/HARNESS-crash-...
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
if [ $# -gt 0 ]; then
    harnesses=("$@")
else
    mapfile -t harnesses < <(ls fuzz/corpus)
fi

bash scripts/setup.sh
cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DORV_SANITIZE=address,undefined -DORV_BUILD_FUZZ=ON -DORV_WARNINGS_AS_ERRORS=ON \
    -DORV_BUILD_GUI=OFF -DORV_BUILD_TESTS=OFF -DORV_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz --target "${harnesses[@]/#/fuzz_}"

export UBSAN_OPTIONS=print_stacktrace=1
mkdir -p build-fuzz/findings
failed=()
for name in "${harnesses[@]}"; do
    run=build-fuzz/runs/$name
    rm -rf "$run"
    # New inputs go to the copy; the work folders of the update manager to a $TMPDIR of its own.
    mkdir -p "$run/corpus" "$run/tmp"
    cp fuzz/corpus/"$name"/* "$run/corpus/"
    echo "fuzz: $name for ${seconds} s"
    if TMPDIR=$PWD/$run/tmp build-fuzz/fuzz/fuzz_"$name" "$run/corpus" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix=build-fuzz/findings/"$name"- >"$run/log" 2>&1; then
        grep -E '^stat::number_of_executed_units|^stat::new_units_added' "$run/log" |
            sed 's/^/    /'
    else
        tail -n 60 "$run/log"
        failed+=("$name")
    fi
    rm -rf "$run/tmp"
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz: findings in ${failed[*]} (inputs in build-fuzz/findings/)" >&2
    exit 1
fi
