#!/bin/sh
# quorvane-cli.exe under Wine against the tracker on a COM port: the port is
# listed, every group reads, and what write-all sends reads back.
#   wine_cli_test.sh WINE CLI_EXE PORT WORK_DIR
set -u
wine=$1 cli=$2 port=$3 dir=$4
mkdir -p "$dir"
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
# run NAME ARGS...: the program's exit status, its output in $dir/NAME.out/.err
run() {
  name=$1; shift
  "$wine" "$cli" "$@" > "$dir/$name.out" 2> "$dir/$name.err"
  echo $?
}
# Z: is the root of the Unix file system in every prefix.
winepath_of() { printf 'Z:%s' "$1" | tr '/' '\\'; }
has() { grep -q -x -F "$2" "$dir/$1" || fail "$1 lacks the line '$2'"; }

status=$(run ports ports)
[ "$status" = 0 ] || fail "ports exited $status"
# Wine fills the registry's port list when it makes the prefix, so the port added
# for this test need not be there; the ports it made must be.
tr -d '\r' < "$dir/ports.out" | grep -q -x -E "COM[0-9]+" || fail "ports lists no COM port"

status=$(run read-all --port "$port" read-all "$(winepath_of "$dir/read.ini")")
[ "$status" = 0 ] || fail "read-all exited $status: $(cat "$dir/read-all.err")"
tr -d '\r' < "$dir/read-all.err" > "$dir/read-all.err.txt"
tr -d '\r' < "$dir/read-all.out" > "$dir/read-all.out.txt"
has read-all.err.txt "notice: Read All Completed!"
grep -q "^LowSpeedOUT2=" "$dir/read-all.out.txt" || fail "read-all does not print every group"

status=$(run write-all --port "$port" --load "$(winepath_of "$dir/read.ini")" --set APN=wine.apn --set Speed=97 write-all)
[ "$status" = 0 ] || fail "write-all exited $status: $(cat "$dir/write-all.err")"
tr -d '\r' < "$dir/write-all.err" > "$dir/write-all.err.txt"
has write-all.err.txt "notice: Write All Completed!"

status=$(run read-back --port "$port" read-all)
[ "$status" = 0 ] || fail "the read after write-all exited $status"
tr -d '\r' < "$dir/read-back.out" > "$dir/read-back.out.txt"
has read-back.out.txt "APN=wine.apn"
has read-back.out.txt "Speed=97"

[ $failures -eq 0 ] && echo "quorvane-cli on $port: ports, read-all, write-all, read-all: passed"
[ $failures -eq 0 ]
