#!/usr/bin/env bash
# Builds the libFuzzer targets (clang-14, AddressSanitizer + UndefinedBehaviorSanitizer,
# in build-fuzz) and runs each for SECONDS (default 600) from its seed corpus in
# fuzz/corpus/<target>/, as many targets at a time as there are cores. New inputs go
# to build-fuzz/corpus/<target>/, crashes to build-fuzz/artifacts/. Fails when any
# target crashes, leaks, times out or breaks a property.
#
#   scripts/fuzz.sh [-B BUILD_DIR] [SECONDS] [TARGET...]
#   build-fuzz/fuzz/fuzz_engine build-fuzz/artifacts/fuzz_engine-crash-...   replays one input
set -uo pipefail
cd "$(dirname "$0")/.."
bf=build-fuzz
if [ "${1:-}" = "-B" ]; then bf=${2:?"-B needs a folder"}; shift 2; fi
seconds=${1:-600}
shift || true
case "$seconds" in ''|*[!0-9]*) echo "usage: $0 [-B BUILD_DIR] [SECONDS] [TARGET...]" >&2; exit 2;; esac
source scripts/sanitizer-env.sh
check_leak_sanitizer clang++-14

start=$(date +%s)
launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CXX=clang++-14 cmake -S . -B "$bf" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_WITH_QT=OFF "${launcher[@]}" \
    -DQUORVANE_FUZZ=ON "-DQUORVANE_SANITIZE=address;undefined" -DCMAKE_CXX_FLAGS="-D_GLIBCXX_ASSERTIONS" \
    > "$bf.configure.log" 2>&1 || { cat "$bf.configure.log"; rm -f "$bf.configure.log"; exit 1; }
rm -f "$bf.configure.log"
cmake --build "$bf" -j "$(nproc)" --target quorvane_fuzz_all || exit 1
echo "fuzz build: $(( $(date +%s) - start )) s"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  mapfile -t targets < <(grep -v '^$' "$bf/fuzz_targets.txt")
fi
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no fuzz targets were built" >&2
  exit 1
fi

# The longest input each target takes: the largest frame in a few blocks, a settings
# file of every key, an engine script holding a whole Read All.
max_len() {
  case "$1" in
    fuzz_engine) echo 16384 ;;
    fuzz_frame) echo 12288 ;;
    fuzz_blocks) echo 4200 ;;
    fuzz_settings_load|fuzz_profile_file) echo 24576 ;;
    *) echo 4096 ;;
  esac
}

# run TARGET: one target for its time; its exit status goes to BUILD_DIR/TARGET.status.
run() {
  local t=$1
  # The first corpus folder takes the new inputs; the checked-in seeds stay as they are.
  "$bf/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 -malloc_limit_mb=2560 \
      -max_len="$(max_len "$t")" -print_final_stats=1 \
      -artifact_prefix="$bf/artifacts/$t-" "$bf/corpus/$t" "fuzz/corpus/$t" \
      > "$bf/$t.log" 2>&1
  echo $? > "$bf/$t.status"
}

mkdir -p "$bf/artifacts"
failures=()
ran=()
for t in "${targets[@]}"; do
  [ -x "$bf/fuzz/$t" ] || { echo "fuzz: $t was not built" >&2; failures+=("$t (not built)"); continue; }
  mkdir -p "$bf/corpus/$t"
  rm -f "$bf/$t.status"
  while [ "$(jobs -r -p | wc -l)" -ge "$(nproc)" ]; do wait -n; done
  echo "=== $t: ${seconds} s"
  run "$t" &
  ran+=("$t")
done
wait
for t in "${ran[@]}"; do
  status=$(cat "$bf/$t.status" 2>/dev/null || echo 1)
  echo "--- $t"
  grep -a -E '^stat::number_of_executed_units|^#[0-9]+[[:space:]]+DONE' "$bf/$t.log" | tail -2
  if [ "$status" -ne 0 ]; then
    echo "fuzz: $t FAILED (status $status); log $bf/$t.log:"
    grep -a -v -E '^#[0-9]+|^[[:space:]]+NEW_FUNC|^"' "$bf/$t.log" | tail -60
    failures+=("$t")
  fi
done

if [ ${#failures[@]} -gt 0 ]; then
  echo "fuzz: ${#failures[@]} of ${#targets[@]} targets failed: ${failures[*]}"
  ls "$bf/artifacts/" 2>/dev/null | sed "s|^|  artifact: $bf/artifacts/|"
  exit 1
fi
echo "fuzz: ${#targets[@]} targets ran ${seconds} s each without a finding"
