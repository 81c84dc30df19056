#!/usr/bin/env bash
# Renders each tab of the editor's window, as it stands at start, to
# docs/screenshots/NN-<tab>.png, then the traffic panel and Find Tracker (traffic-panel.png,
# find-tracker.png), the changed marks, the compare dialog and Find (changes-*.png,
# compare-dialog.png, find.png), the Event tab at the smallest width and a failed verify
# (event-tab-minimum-width.png, verify-failed*.png), against simulated trackers, with quorvane-tours (built
# with the tests, never installed). Needs no display.
#   scripts/screenshots.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug
fi
cmake --build "$build" --target quorvane-tours -j 2
out=docs/screenshots
mkdir -p "$out"
rm -f "$out"/[0-9][0-9]-*.png
# A typical USB serial adapter in the port box, whatever ports this machine has.
QT_QPA_PLATFORM=offscreen "$build/tools/tours/quorvane-tours" --port ttyUSB0 "$out"
