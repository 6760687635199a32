#!/usr/bin/env bash
# Installs what is missing, builds everything with two jobs and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD_DIR" -j2
cd "$BUILD_DIR"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 300
