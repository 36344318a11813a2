#!/usr/bin/env bash
# The source check on small trees of its own: each broken rule makes it fail and name the file,
# and the tree passes once the break is mended.
# Usage: check_sources_test.sh REPOSITORY
set -uo pipefail
repository=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2
git init -q
cp "$repository/.clang-format" .
failures=0

# Writes a file (creating its folder), formats it and adds it to the tree.
put() {
    mkdir -p "$(dirname "$1")"
    printf '%s\n' "$2" >"$1"
    command -v clang-format >/dev/null && clang-format -i "$1"
    git add "$1"
}

# Runs the check; the expected outcome is "pass" or the text its report must hold.
expect() {
    local name=$1 wanted=$2 output status
    output=$(bash "$repository/scripts/check_sources.sh" "$work" 2>&1)
    status=$?
    if [ "$wanted" = pass ]; then
        [ $status -eq 0 ] && return
    elif [ $status -ne 0 ] && grep -qF -- "$wanted" <<<"$output"; then
        return
    fi
    echo "FAILED: $name: expected ${wanted}, got status $status:"
    echo "$output"
    failures=$((failures + 1))
}

# A tree that keeps every rule: each layer includes those below it; only platform/ and the tests'
# own system files call the system; std::filesystem and a comment that names a call are fine.
put platform/paths.h '#pragma once'
put platform/paths_posix.cpp '#include <unistd.h>
#include <cstdlib>
#include "platform/paths.h"
const char* Home() { return std::getenv("HOME"); }'
put core/path_functions.h '#include "platform/paths.h"'
put engine/update_manager.h '#include "core/path_functions.h"'
put ui/front_end.cpp '#include "engine/update_manager.h"'
put config/reply_file.cpp '#include <filesystem>
// Never getenv("X") here.
void Drop() { std::filesystem::remove("a"); }'
put tests/support/environment_posix.cpp '#include <stdlib.h>
void Set() { setenv("A", "b", 1); }'
put tests/core/path_functions_test.cpp '#include "core/path_functions.h"
#include "tests/support/temp_folder.h"'
expect "a tree that keeps the rules" pass

# Each break, then its mend; the tree passes again after each.
breaks=(
    "core/orv_object.cpp|#include \"engine/update_manager.h\"|core/orv_object.cpp: includes \"engine/update_manager.h\""
    "transfer/download_task.cpp|#include \"package/uncompress_task.h\"|transfer/download_task.cpp: includes \"package/uncompress_task.h\""
    "tests/core/task_test.cpp|#include \"engine/update_manager.h\"|tests/core/task_test.cpp: includes \"engine/update_manager.h\""
    "extras/tool.cpp|int x;|the folder extras has no include rule"
    "config/server_config.cpp|const char* h = std::getenv(\"HOME\");|config/server_config.cpp:"
    "local/local_tasks.cpp|bool Move() { return ::rename(\"a\", \"b\") == 0; }|local/local_tasks.cpp:"
    "tools/release_tree.cpp|void* f = fopen(\"a\", \"r\");|raw system calls outside platform/"
    "ui/console.cpp|#include <termios.h>|operating-system headers outside platform/"
)
for entry in "${breaks[@]}"; do
    IFS='|' read -r file text wanted <<<"$entry"
    put "$file" "$text"
    expect "$file: $text" "$wanted"
    git rm -q -f "$file"
    expect "after removing $file" pass
done

# A table that lets a layer include one above it would allow a cycle: the check refuses it.
sed 's/^    \[core\]="platform"$/    [core]="engine platform"/' "$repository/scripts/check_sources.sh" \
    >"$work/cyclic_check.sh"
if ! grep -q 'core\]="engine platform"' "$work/cyclic_check.sh"; then
    echo "FAILED: the core row of the include table was not found"
    failures=$((failures + 1))
elif output=$(bash "$work/cyclic_check.sh" "$work" 2>&1) ||
    ! grep -qF "lets core include engine, which is not below it" <<<"$output"; then
    echo "FAILED: a table with a cycle was accepted:"
    echo "$output"
    failures=$((failures + 1))
fi

if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "every broken rule was reported"
