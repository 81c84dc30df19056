# Sourced by run-tests.sh and fuzz.sh: sanitizer run-time options, and probes for
# what this machine allows (LeakSanitizer needs ptrace; ThreadSanitizer needs a
# memory layout that a high ASLR entropy may break).

# Every report ends the process with a failing status and a stack trace.
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:print_stacktrace=1:detect_leaks=1:strict_string_checks=1:check_initialization_order=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:report_error_type=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:history_size=4"
export LSAN_OPTIONS="print_suppressions=0"

# Builds a small program with compiler `$1` and sanitizer flags `$2` into the folder
# `$3`: it leaks (for LeakSanitizer) and races (for ThreadSanitizer).
_sanitizer_probe_build() {
  cat > "$3/probe.cpp" <<'CPP'
#include <cstdlib>
#include <thread>
int shared = 0;
int main() {
    void* volatile leak = std::malloc(64);
    leak = nullptr;
    std::thread t([] { ++shared; });
    ++shared;
    t.join();
    return 0;
}
CPP
  "$1" -std=c++20 -g $2 "$3/probe.cpp" -o "$3/probe" -pthread
}

# LeakSanitizer stops the process with a fatal error where ptrace is not allowed
# (some containers); leak checks are then switched off with a warning, rather than
# failing every test.
check_leak_sanitizer() {
  local dir out
  dir=$(mktemp -d)
  _sanitizer_probe_build "$1" "-fsanitize=address" "$dir"
  out=$(ASAN_OPTIONS=detect_leaks=1 "$dir/probe" 2>&1 || true)
  rm -rf "$dir"
  if grep -q "detected memory leaks" <<<"$out"; then
    echo "LeakSanitizer works here."
  else
    echo "WARNING: LeakSanitizer does not work on this machine (no ptrace?); leak checks are off." >&2
    grep -m3 -E "LeakSanitizer" <<<"$out" >&2 || true
    export ASAN_OPTIONS="${ASAN_OPTIONS//detect_leaks=1/detect_leaks=0}"
  fi
}

# Sets TSAN_LAUNCHER to what ThreadSanitizer programs need to run here: nothing, or
# setarch without address randomisation when the kernel's memory layout confuses it.
# Fails when ThreadSanitizer cannot work at all.
check_thread_sanitizer() {
  local dir out
  dir=$(mktemp -d)
  _sanitizer_probe_build "$1" "-fsanitize=thread" "$dir"
  TSAN_LAUNCHER=""
  out=$("$dir/probe" 2>&1 || true)
  if ! grep -q "ThreadSanitizer: data race" <<<"$out"; then
    TSAN_LAUNCHER="setarch $(uname -m) -R"
    out=$($TSAN_LAUNCHER "$dir/probe" 2>&1 || true)
  fi
  rm -rf "$dir"
  if ! grep -q "ThreadSanitizer: data race" <<<"$out"; then
    echo "ThreadSanitizer does not work on this machine:" >&2
    head -5 <<<"$out" >&2
    return 1
  fi
  echo "ThreadSanitizer works here${TSAN_LAUNCHER:+ under '$TSAN_LAUNCHER'}."
}

# True when a test log holds a sanitizer report (a report in a process whose exit
# status was lost still fails the stage).
sanitizer_reports_in() {
  grep -a -E "ERROR: (AddressSanitizer|LeakSanitizer)|WARNING: ThreadSanitizer|runtime error:|SUMMARY: (Address|Thread|UndefinedBehavior|Leak)Sanitizer" "$@"
}
