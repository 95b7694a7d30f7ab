# Shared by the cross-check scripts: arguments, the Python with xlrd, the fixture lists and a
# scratch folder removed at exit.
set -uo pipefail
tool=${1:?path of clivara-archivio}
fixtures=${2:?fixtures folder}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
py=/usr/bin/python3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0

good_fixtures() {
    ls "$fixtures"/lo-*.xls "$fixtures"/gnumeric-*.xls "$fixtures"/xlwt-*.xls \
        "$fixtures"/crafted-*.xls 2>/dev/null
}

fail() {
    echo "FALLITO: $*"
    failures=$((failures + 1))
}

finish() {
    if [ "$failures" -gt 0 ]; then
        echo "$failures verifiche fallite"
        exit 1
    fi
    echo "tutte le verifiche superate"
    exit 0
}
