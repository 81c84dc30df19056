#!/usr/bin/env bash
# Builds everything and runs every test. The normal build and its CTest run come
# first; then the whole suite again under AddressSanitizer and UndefinedBehavior-
# Sanitizer, the serial, integration and soak tests under ThreadSanitizer, every fuzz target
# for a short time, and clang-tidy. Ends with each stage's result and time.
#
#   scripts/run-tests.sh                 every stage
#   scripts/run-tests.sh asan tidy       only the stages named (normal asan tsan fuzz tidy
#                                        windows package)
#   scripts/run-tests.sh -B build-mine   build trees build-mine, build-mine-asan, ...
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh || exit 1
jobs=$(nproc)
b=build
if [ "${1:-}" = "-B" ]; then b=${2:?"-B needs a folder"}; shift 2; fi
stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(normal asan tsan fuzz tidy windows package)

source scripts/sanitizer-env.sh
# Every build tree compiles through ccache, so a second run recompiles only what changed.
launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
declare -a results=()
failed=0
passed=0
normal_summary=""

wants() { local s; for s in "${stages[@]}"; do [ "$s" = "$1" ] && return 0; done; return 1; }
banner() { printf '\n======== %s ========\n' "$*"; }
# finish STAGE START STATUS [DETAIL]
finish() {
  local took=$(( $(date +%s) - $2 ))
  local verdict=passed
  if [ "$3" -ne 0 ]; then verdict=FAILED; failed=$((failed + 1)); else passed=$((passed + 1)); fi
  results+=("$(printf '%-7s %-6s %3dm%02ds  %s' "$1" "$verdict" $((took / 60)) $((took % 60)) "${4:-}")")
  printf -- '--- stage %s %s in %dm%02ds\n' "$1" "$verdict" $((took / 60)) $((took % 60))
}
# A stage's CTest log: in full when the stage failed, else its last lines.
show_log() {
  [ -f "$1" ] || return 0
  if [ "$2" -ne 0 ]; then cat "$1"; else tail -n 4 "$1"; fi
}
# The summary line CTest printed into a log.
ctest_summary() { grep -a -E "tests passed|No tests were found" "$1" | tail -1; }

# --- normal: the README's build and every test --------------------------------------
if wants normal; then
  banner "normal build and tests"
  start=$(date +%s)
  status=0
  cmake -S . -B "$b" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" || status=1
  [ $status -ne 0 ] || cmake --build "$b" -j "$jobs" || status=1
  if [ $status -eq 0 ]; then
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$b" --output-on-failure -j "$jobs" --timeout 300 2>&1 |
      tee "$b/ctest.log"
    status=${PIPESTATUS[0]}
    normal_summary=$(ctest_summary "$b/ctest.log")
  fi
  finish normal "$start" "$status" "$normal_summary"
fi

# --- asan: the whole suite with AddressSanitizer and UndefinedBehaviorSanitizer ------
if wants asan; then
  banner "AddressSanitizer + UndefinedBehaviorSanitizer (clang-14, $b-asan)"
  start=$(date +%s)
  status=0
  check_leak_sanitizer clang++-14
  # Bounds checks in the standard containers catch what ASan cannot see inside a
  # fixed array member.
  CXX=clang++-14 cmake -S . -B $b-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug "${launcher[@]}" \
      "-DQUORVANE_SANITIZE=address;undefined" -DCMAKE_CXX_FLAGS="-O1 -D_GLIBCXX_ASSERTIONS" &&
    cmake --build $b-asan -j "$jobs" &&
    QT_QPA_PLATFORM=offscreen ctest --test-dir $b-asan --output-on-failure -j "$jobs" --timeout 600 \
      > $b-asan/ctest.log 2>&1
  status=$?
  show_log $b-asan/ctest.log "$status"
  if [ -f $b-asan/Testing/Temporary/LastTest.log ] &&
     sanitizer_reports_in $b-asan/Testing/Temporary/LastTest.log > $b-asan/reports.txt; then
    echo "Sanitizer reports ($b-asan/Testing/Temporary/LastTest.log):"; head -40 $b-asan/reports.txt
    status=1
  fi
  finish asan "$start" "$status" "$([ -f $b-asan/ctest.log ] && ctest_summary $b-asan/ctest.log)"
fi

# --- tsan: serial component and integration tests with ThreadSanitizer --------------
if wants tsan; then
  banner "ThreadSanitizer over the serial, integration and soak tests (clang-14, $b-tsan)"
  start=$(date +%s)
  status=0
  summary=""
  if check_thread_sanitizer clang++-14; then
    # The test executables labelled serial, integration or soak, read from the test folders.
    targets=$(awk '
      /quorvane_test\(/ { call = ""; open = 1 }
      open { call = call " " $0 }
      open && /\)/ { open = 0
        if (call ~ /LABELS[^)]*(serial|integration|soak)/) {
          sub(/.*quorvane_test\([ \t]*/, "", call); split(call, w, /[ \t]+/); print w[1] } }
    ' tests/*/CMakeLists.txt | sort -u | tr '\n' ' ')
    echo "Test targets: $targets"
    CXX=clang++-14 cmake -S . -B $b-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_WITH_QT=OFF "${launcher[@]}" \
        -DQUORVANE_SANITIZE=thread -DCMAKE_CXX_FLAGS="-O1" &&
      cmake --build $b-tsan -j "$jobs" --target $targets &&
      $TSAN_LAUNCHER ctest --test-dir $b-tsan --output-on-failure -j "$jobs" --timeout 600 \
        -L 'serial|integration|soak' > $b-tsan/ctest.log 2>&1
    status=$?
    show_log $b-tsan/ctest.log "$status"
    if [ -f $b-tsan/Testing/Temporary/LastTest.log ] &&
       sanitizer_reports_in $b-tsan/Testing/Temporary/LastTest.log > $b-tsan/reports.txt; then
      echo "Sanitizer reports ($b-tsan/Testing/Temporary/LastTest.log):"; head -40 $b-tsan/reports.txt
      status=1
    fi
    summary=$([ -f $b-tsan/ctest.log ] && ctest_summary $b-tsan/ctest.log)
  else
    status=1
  fi
  finish tsan "$start" "$status" "$summary"
fi

# --- fuzz: every libFuzzer target for a short, bounded time -------------------------
if wants fuzz; then
  banner "fuzz targets, 20 s each (clang-14, $b-fuzz)"
  start=$(date +%s)
  scripts/fuzz.sh -B "$b-fuzz" 20 2>&1 | tee "$b-fuzz.log"
  status=${PIPESTATUS[0]}
  finish fuzz "$start" "$status" "$(grep -a -E '^fuzz: ' "$b-fuzz.log" | tail -1)"
  rm -f "$b-fuzz.log"
fi

# --- tidy: clang-tidy over the project's own sources --------------------------------
if wants tidy; then
  banner "clang-tidy-14"
  start=$(date +%s)
  mkdir -p "$b"
  scripts/tidy.sh "$b" 2>&1 | tee "$b/tidy-summary.log"
  status=${PIPESTATUS[0]}
  finish tidy "$start" "$status" "$(grep -a -E '^tidy: ' "$b/tidy-summary.log" | tail -1)"
fi

# --- windows: the mingw-w64 cross build, its tests under Wine -----------------------
if wants windows; then
  banner "Windows cross build (mingw-w64) and its tests under Wine ($b-windows)"
  start=$(date +%s)
  scripts/windows-tests.sh "$b" "$b-windows" 2>&1 | tee "$b-windows.log"
  status=${PIPESTATUS[0]}
  finish windows "$start" "$status" "$(grep -a -E '^wine: ' "$b-windows.log" | tail -1)"
  rm -f "$b-windows.log"
fi

# --- package: the Debian package, its contents, its programs, lintian ---------------
# Packed from the normal tree: the programs the normal stage tested are the ones shipped.
if wants package; then
  banner "Debian package (from $b)"
  start=$(date +%s)
  scripts/package-check.sh "$b" 2>&1 | tee "$b-package.log"
  status=${PIPESTATUS[0]}
  finish package "$start" "$status" "$(grep -a -E '^package: ' "$b-package.log" | tail -1)"
  rm -f "$b-package.log"
fi

banner "summary"
[ -n "$normal_summary" ] && echo "normal build: $normal_summary"
printf '%s\n' "${results[@]}"
echo "stages: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
