#!/usr/bin/env bash
# clang-tidy-14 with the checked-in .clang-tidy over the project's own sources, two
# files at a time, from the compile commands of the normal build (built first when
# needed, as the Qt sources need their generated files). The fuzz targets are taken
# from the fuzz build's compile commands when that tree exists (BUILD_DIR-fuzz, as
# scripts/run-tests.sh names it). Any finding fails.
#
#   scripts/tidy.sh [BUILD_DIR] [FILE_REGEX]
#   scripts/tidy.sh build 'link/'          only the files whose path matches
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build}
only=${2:-}
if [ ! -f "$build/compile_commands.json" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo || exit 1
fi
cmake --build "$build" -j "$(nproc)" > "$build/tidy-build.log" 2>&1 || { cat "$build/tidy-build.log"; exit 1; }

folders='(app|blocks|cli|link|model|platform|seams|serial|settings|sim|station|trust|tests|tools|fuzz)'
# The project's sources in a compile database; build trees and the files Qt's moc
# generates are not among them.
sources() {
  grep -o '"file": *"[^"]*"' "$1/compile_commands.json" | sed 's/.*"file": *"\(.*\)"/\1/' |
    grep -E "^$root/$folders/" | grep -v -E '/(build[^/]*|[^/]*_autogen)/|/moc_|mocs_compilation' |
    grep -E "${only:-.}" | sort -u
}
mapfile -t files < <(sources "$build")
fuzz_files=()
if [ -f "$build-fuzz/compile_commands.json" ]; then
  mapfile -t fuzz_files < <(sources "$build-fuzz" | grep "^$root/fuzz/")
fi
if [ ${#files[@]} -eq 0 ] && [ ${#fuzz_files[@]} -eq 0 ]; then
  echo "tidy: no source files found in $build/compile_commands.json" >&2
  exit 1
fi
echo "clang-tidy-14 over $(( ${#files[@]} + ${#fuzz_files[@]} )) files"

log="$build/tidy.log"
: > "$log"
status=0
run() {  # run DATABASE_DIR FILE...
  local db=$1
  shift
  [ $# -gt 0 ] || return 0
  printf '%s\n' "$@" |
    xargs -P "$(nproc)" -n 1 clang-tidy-14 -p "$db" --quiet --header-filter="^$root/$folders/" >> "$log" 2>&1
}
run "$build" "${files[@]}" || status=1
run "$build-fuzz" "${fuzz_files[@]}" || status=1

# Findings, once each (a header's finding shows up in every file including it).
grep -a -E '^/.*:[0-9]+:[0-9]+: (error|warning): ' "$log" | sort -u > "$build/tidy-findings.txt"
count=$(wc -l < "$build/tidy-findings.txt")
if [ "$count" -gt 0 ]; then
  sed "s|^$root/||" "$build/tidy-findings.txt"
  echo
  echo "Findings per file:"
  sed "s|^$root/||" "$build/tidy-findings.txt" | cut -d: -f1 | sort | uniq -c | sort -rn
  echo "Findings per check:"
  grep -o '\[[a-z0-9.,-]*\]$' "$build/tidy-findings.txt" | sort | uniq -c | sort -rn
fi
if [ $status -ne 0 ] && [ "$count" -eq 0 ]; then
  echo "tidy: clang-tidy failed without a finding; see $log"
  tail -20 "$log"
fi
echo "tidy: $count findings in $(( ${#files[@]} + ${#fuzz_files[@]} )) files"
[ $status -eq 0 ] && [ "$count" -eq 0 ]
