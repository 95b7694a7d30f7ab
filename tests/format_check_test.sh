#!/usr/bin/env bash
# Every C++ file of ours follows the checked-in .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
formatter=$(command -v clang-format || command -v clang-format-14 || true)
if [ -z "$formatter" ]; then
    echo "clang-format non trovato" >&2
    exit 1
fi
status=0
while IFS= read -r file; do
    if ! "$formatter" --dry-run -Werror "$file" >/dev/null 2>&1; then
        echo "da formattare: $file"
        status=1
    fi
done < <(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp')
exit $status
