#!/usr/bin/env bash
# Installs what is missing, builds, and opens Invarro on a demo data folder.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
BUILD_DIR="${INVARRO_BUILD_DIR:-build}"
DEMO_DIR="${INVARRO_DEMO_DIR:-$HOME/.local/share/invarro-demo}"
if [ ! -x "$BUILD_DIR/bin/invarro" ]; then
  echo "The invarro program is not built yet in this version; only invarro-fbtool is." >&2
  exit 1
fi
exec "$BUILD_DIR/bin/invarro" --data "$DEMO_DIR" --demo "$@"
