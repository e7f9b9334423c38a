#!/usr/bin/env bash
# One screen setting a user may have: every window of the gallery opened on a WIDTH x HEIGHT
# screen at the desktop scale SCALE, whose work area is the screen less a 48 px panel, and
# checked with 40 px of window frame on top of each window: inside the work area with its
# buttons in view, every control named and every field labelled for screen readers.
# Usage: check-scale.sh GALLERY-PROGRAM WIDTH HEIGHT SCALE
set -euo pipefail
gallery="$1" width="$2" height="$3" scale="$4"
panel=48
frame=40
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cat >"$work/screen.json" <<JSON
{ "screens": [ { "name": "screen", "x": 0, "y": 0, "width": $width,
                 "height": $((height - panel)), "logicalDpi": 96, "logicalBaseDpi": 96,
                 "dpr": 1 } ] }
JSON
export QT_QPA_PLATFORM="offscreen:configfile=$work/screen.json"
export QT_SCALE_FACTOR="$scale"
export QT_ENABLE_HIGHDPI_SCALING=1
"$gallery" --check 0 "$frame" "$work/data" "$work/out"
