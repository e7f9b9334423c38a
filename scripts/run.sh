#!/usr/bin/env bash
# Installs what is missing, builds, and opens Invarro on a demo data folder.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
BUILD_DIR="${INVARRO_BUILD_DIR:-build}"
DEMO_DIR="${INVARRO_DEMO_DIR:-$HOME/.local/share/invarro-demo}"
exec "$BUILD_DIR/bin/invarro" --data "$DEMO_DIR" --demo "$@"
