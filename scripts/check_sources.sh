#!/usr/bin/env bash
# Source rules that the compiler does not check, for the repository or the git tree given:
#  - each folder includes only the folders below it (the table below);
#  - only platform/ calls the operating system: no system headers and no raw system calls
#    elsewhere, except in the Windows window (ui/*_win.cpp, *_win.h, on Win32 as its toolkit)
#    and the tests' own system files (tests/support/*_posix.cpp, *_win.cpp);
#  - every C++ file follows the repository's .clang-format.
set -uo pipefail
cd "${1:-$(dirname "$0")/..}" || exit 2
status=0

# The folders each folder may include besides itself, bottom up. tests/NAME may include what
# NAME may, NAME itself and tests/.
declare -A may_include=(
    [platform]=""
    [core]="platform"
    [http]="core platform"
    [config]="http core platform"
    [transfer]="config http core platform"
    [package]="config core platform"
    [local]="config core platform"
    [engine]="transfer package local config http core platform"
    [ui]="engine transfer package local config http core platform"
    [app]="ui engine transfer package local config http core platform"
    [tools]="package core platform"
    [bench]="tests transfer package local config http core platform"
    [fuzz]="tests tools transfer package local config http core platform"
    # Test support serves every layer below the engine; the release tool's tests read its tree
    # back with the updater's own readers and downloader.
    [tests/support]="tools package config http core platform"
    [tests/tools]="tools transfer package config http core platform"
)

# The layers in the order of the table: a folder may include only folders before it, so that
# the includes between folders can never form a cycle.
layers=(platform core http config transfer package local engine ui app tools bench fuzz)
for ((i = 0; i < ${#layers[@]}; i++)); do
    for below in ${may_include[${layers[i]}]}; do
        [ "$below" = tests ] && continue
        found=0
        for ((j = 0; j < i; j++)); do
            [ "${layers[j]}" = "$below" ] && found=1
        done
        if [ $found -eq 0 ]; then
            echo "the include table lets ${layers[i]} include $below, which is not below it"
            status=1
        fi
    done
done

# The folder whose rule applies to a file: tests/NAME for tests, else the top folder.
rule_folder() {
    case "$1" in
        tests/*/*) local rest=${1#tests/}; echo "tests/${rest%%/*}" ;;
        */*) echo "${1%%/*}" ;;
        *) echo "" ;;
    esac
}

# The folders a folder may include, on one line; fails for a folder without a rule.
allowed_for() {
    local folder=$1 own=$1 extra=""
    if [[ $folder == tests/* ]]; then
        extra="tests"
        [[ -v may_include[$folder] ]] || own=${folder#tests/}
    fi
    [[ -v may_include[$own] ]] || return 1
    echo "$folder $own ${may_include[$own]} $extra"
}

forbidden=""
while IFS= read -r file; do
    folder=$(rule_folder "$file")
    [ -z "$folder" ] && continue
    if ! allowed=$(allowed_for "$folder"); then
        forbidden+="$file: the folder $folder has no include rule in scripts/check_sources.sh"$'\n'
        continue
    fi
    allowed=" $(echo $allowed) "
    while IFS= read -r line; do
        [ -z "$line" ] && continue
        included=${line#*\"}
        included=${included%%\"*}
        [[ $included == */* ]] || continue
        top=${included%%/*}
        if [[ $allowed != *" $top "* ]]; then
            forbidden+="$file: includes \"$included\"; $folder may include only:$allowed"$'\n'
        fi
    done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file")
done < <(git ls-files '*.cpp' '*.h' '*.c')
if [ -n "$forbidden" ]; then
    echo "includes across the layers:"
    printf '%s' "$forbidden"
    status=1
fi

# Files that may speak to the system directly.
system_files='^(platform/|ui/[^/]*_win\.(cpp|h)$|tests/support/[^/]*_(posix|win)\.cpp$)'

os_headers='^[[:space:]]*#[[:space:]]*include[[:space:]]*<(unistd|fcntl|dirent|dlfcn|pthread|signal|spawn|termios|poll|iconv|windows|winbase|shellapi|shlwapi|sys/[a-z_]+|netinet/[a-z_]+|arpa/[a-z_]+)\.h>'
hits=$(git ls-files '*.cpp' '*.h' '*.c' | grep -vE "$system_files" | xargs -r grep -nE "$os_headers")
if [ -n "$hits" ]; then
    echo "operating-system headers outside platform/:"
    echo "$hits"
    status=1
fi

# Raw calls of the C library and the system, bare or with "::" or "std::"; the standard
# library's portable std::filesystem functions are not among them.
raw_calls='(^|[^A-Za-z0-9_.>:]|::)(open|fopen|freopen|rename|remove|getenv|secure_getenv|setenv|unsetenv|putenv|posix_spawnp?|iconv_open|popen|system|unlink|rmdir|mkdir|mkdtemp|chmod|chown|readlink|opendir|fork|execvp?e?|execlp?|kill)[[:space:]]*\('
hits=$(git ls-files '*.cpp' '*.h' | grep -vE "$system_files" | xargs -r grep -nE "$raw_calls" |
    sed -E 's/(std::)?(filesystem|fs)::[a-z_]+[[:space:]]*\(/(/g' | grep -E "$raw_calls" |
    grep -vE '^[^:]+:[0-9]+:[[:space:]]*//')
if [ -n "$hits" ]; then
    echo "raw system calls outside platform/ (use the platform layer):"
    echo "$hits"
    status=1
fi

if command -v clang-format >/dev/null; then
    unformatted=$(git ls-files '*.cpp' '*.h' | while read -r file; do
        clang-format --dry-run --Werror "$file" >/dev/null 2>&1 || echo "$file"
    done)
    if [ -n "$unformatted" ]; then
        echo "files that differ from .clang-format (run clang-format -i):"
        echo "$unformatted"
        status=1
    fi
fi
exit $status
