#!/usr/bin/env bash
# Runs a program as under a desktop with a screen reader's bus: a virtual X display, a
# session bus of its own, the accessibility bus started on it and Qt's bridge to it on.
# Usage: with-a11y-bus.sh PROGRAM [ARGUMENTS...]
set -euo pipefail
for tool in xvfb-run dbus-run-session dbus-send; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "with-a11y-bus: $tool is missing; run scripts/install-deps.sh" >&2
    exit 1
  fi
done
export QT_QPA_PLATFORM=xcb
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
exec xvfb-run -a dbus-run-session -- sh -c '
  dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
    >/dev/null || { echo "with-a11y-bus: no accessibility bus (at-spi2-core)" >&2; exit 1; }
  exec "$@"' sh "$@"
