#!/usr/bin/env bash
# Builds everything and runs every test: the Release build that users and packagers make (no
# tests, and none of the test packages looked for), the same build with the whole suite, then
# the workbook layer under AddressSanitizer and UndefinedBehaviorSanitizer replaying the fuzz
# corpus and the workbook tests. A warning of the compiler or the linker fails the check.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test

jobs=$(nproc)
# Both Release builds compile the program's files with the same command lines, so with
# ccache the second takes them from the first instead of compiling them again.
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    export CCACHE_BASEDIR="$PWD"
fi

# Builds a configured directory; its log is kept there, and a warning in it stops the check
# (the build itself never turns warnings into errors, as a user's build must not).
build_without_warnings() {
    local dir=$1
    shift
    cmake --build "$dir" -j "$jobs" "$@" 2>&1 | tee "$dir/build.log"
    if grep -n -E '(^|[: ])warning:' "$dir/build.log"; then
        echo "La compilazione in $dir ha dato degli avvisi (sopra)." >&2
        exit 1
    fi
}

# As a user builds it: GoogleTest and Google Benchmark are kept out of reach to show that the
# build needs neither.
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON "${launcher[@]}"
build_without_warnings build-release

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON -DCLIVARA_WERROR=OFF "${launcher[@]}"
build_without_warnings build
ctest --test-dir build --output-on-failure -j "$jobs" -LE e2e
# The end-to-end tests drive a real X server with synthetic keys; one lost key on a loaded
# machine is given a second run.
ctest --test-dir build --output-on-failure -L e2e --repeat until-pass:2

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DCLIVARA_GUI=OFF -DCLIVARA_SANITIZE=ON \
    -DCLIVARA_BENCH=OFF -DCLIVARA_WERROR=ON -DCMAKE_CXX_COMPILER=clang++-14 "${launcher[@]}"
cmake --build build-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-sanitize --output-on-failure -j "$jobs" -L 'archive|register|fuzz'
