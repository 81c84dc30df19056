#!/usr/bin/env bash
# The Windows cross build and its tests under Wine:
#   scripts/windows-tests.sh [NATIVE_BUILD [WINDOWS_BUILD]]     (default build, build-windows)
# Builds the native quorvane-sim in NATIVE_BUILD (the tracker on the far end of the
# COM port), cross-builds the core, quorvane-cli and the tests for 64-bit Windows
# in WINDOWS_BUILD, and runs them under Wine in a prefix inside that tree. Ends with
# the number of test cases Wine ran.
set -uo pipefail
cd "$(dirname "$0")/.."
native=${1:-build}
win=${2:-build-windows}
jobs=$(nproc)
launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

if [ ! -f "$native/build.ninja" ]; then
  cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" || exit 1
fi
cmake --build "$native" -j "$jobs" --target quorvane-sim || exit 1
sim=$(cd "$native/sim" && pwd)/quorvane-sim

cmake -S . -B "$win" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
      -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake -DQUORVANE_WITH_QT=OFF \
      -DQUORVANE_NATIVE_SIM="$sim" || exit 1
cmake --build "$win" -j "$jobs" || exit 1

# One quiet prefix in the build tree, and one wineserver for the whole run, started
# detached so neither it nor Wine's helpers hold a terminal or CTest's pipes.
export WINEPREFIX=$(cd "$win" && pwd)/wineprefix WINEDEBUG=-all
mkdir -p "$WINEPREFIX"
wineserver -f -p < /dev/null > /dev/null 2>&1 &
# Wine's background services start with the first program of a session and keep
# its standard handles: let wineboot start them, with none of CTest's pipes.
[ -f "$WINEPREFIX/system.reg" ] || echo "Making the Wine prefix $WINEPREFIX"
wineboot -i < /dev/null > "$win/wineboot.log" 2>&1
ctest --test-dir "$win" --output-on-failure -j "$jobs" --timeout 300 < /dev/null 2>&1 | tee "$win/ctest.log"
status=${PIPESTATUS[0]}
wineserver -k > /dev/null 2>&1

# Every program prints "[==========] N tests from M test suites ran."
cases=$(grep -a -h -E '^\[==========\] [0-9]+ tests? from .* ran\.' "$win/Testing/Temporary/LastTest.log" |
        awk '{ n += $2 } END { print n + 0 }')
programs=$(grep -a -c -E '^\[==========\] [0-9]+ tests? from .* ran\.' "$win/Testing/Temporary/LastTest.log")
echo "wine: $cases test cases in $programs test programs, $(grep -a -E 'tests passed' "$win/ctest.log" | tail -1)"
exit "$status"
