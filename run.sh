#!/usr/bin/env bash
# Installs what is missing, builds and starts the program.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD_DIR" -j2
PROGRAM="$BUILD_DIR/app/bin/ostrelpeststandard"
if [ ! -x "$PROGRAM" ]; then
  echo "The program is not built yet; the engine and its tests are."
  exit 0
fi
exec "$PROGRAM" "$@"
