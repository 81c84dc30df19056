#!/usr/bin/env bash
# Builds the editor and starts it together with a simulated tracker, its port preset.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target quorvane-editor quorvane-sim quorvane-cli
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found (DISPLAY and WAYLAND_DISPLAY are unset), so the window cannot open." >&2
  echo "On a desktop, run this from a terminal inside the session; on a server, try:" >&2
  echo "  xvfb-run -a scripts/start-editor.sh" >&2
  exit 1
fi
exec build/app/qt/quorvane-editor --simulate "$@"
