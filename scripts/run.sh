#!/usr/bin/env bash
# Builds the program and starts it in a demo folder on a sample archive with a handful of
# fictional customers. A user's own archive is never touched.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

# The build a user makes: Release, without the tests (so without their packages).
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
cmake --build build-release -j "$(nproc)" --target clivara clivara-archivio

mkdir -p demo
cp build-release/clivara demo/clivara
if [ ! -e demo/Archivio.xls ]; then
    build-release/clivara-archivio sample demo/Archivio.xls
fi
exec demo/clivara
