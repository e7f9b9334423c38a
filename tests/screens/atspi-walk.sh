#!/usr/bin/env bash
# The program on a demo installation, walked over the accessibility bus by atspi-walk.py as a
# screen reader walks it. Run it under with-a11y-bus.sh.
# Usage: atspi-walk.sh PROGRAM
set -euo pipefail
program="$1"
work="$(mktemp -d)"
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
"$program" --demo --data "$work/data" &
pid=$!
/usr/bin/python3 "$(dirname "$0")/atspi-walk.py"
