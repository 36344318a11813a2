#!/usr/bin/env bash
# Source rules that the compiler does not check:
#  - only platform/ includes operating-system headers;
#  - every C++ file follows the repository's .clang-format.
set -uo pipefail
cd "$(dirname "$0")/.."
status=0

os_headers='^[[:space:]]*#[[:space:]]*include[[:space:]]*<(unistd|fcntl|dirent|dlfcn|pthread|signal|spawn|termios|poll|iconv|windows|winbase|shellapi|shlwapi|sys/[a-z_]+|netinet/[a-z_]+|arpa/[a-z_]+)\.h>'
hits=$(git ls-files '*.cpp' '*.h' '*.c' | grep -v '^platform/' | xargs grep -nE "$os_headers" 2>/dev/null)
if [ -n "$hits" ]; then
    echo "operating-system headers outside platform/:"
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
