#!/usr/bin/env bash
# Configures and builds Invarro into build/ (warnings are errors).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${INVARRO_BUILD_DIR:-build}"
GENERATOR=()
if command -v ninja >/dev/null 2>&1; then GENERATOR=(-G Ninja); fi
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD_DIR" "${GENERATOR[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINVARRO_WERROR=ON
fi
cmake --build "$BUILD_DIR" -j2
