#!/usr/bin/env bash
# Builds the program and starts it in a demo folder on a sample archive with a handful of
# fictional customers. A user's own archive is never touched.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target clivara clivara-archivio

mkdir -p demo
cp build/clivara demo/clivara
if [ ! -e demo/Archivio.xls ]; then
    build/clivara-archivio sample demo/Archivio.xls
fi
exec demo/clivara
