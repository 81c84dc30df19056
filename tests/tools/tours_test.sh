#!/bin/sh
# quorvane-tours makes every picture the README shows, names each on standard output
# and writes it as a PNG.
#   tours_test.sh QUORVANE_TOURS README
set -u
tours=$1 readme=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! "$tours" --port ttyUSB0 "$work/pictures" > "$work/printed" 2> "$work/errors"; then
  echo "quorvane-tours failed:"; cat "$work/errors"; exit 1
fi
# before-*.png show the window as it was before a change: no build makes them again.
names=$(grep -o 'docs/screenshots/[^)]*\.png' "$readme" | sed 's|^docs/screenshots/||' | grep -v '^before-' | sort -u)
[ -n "$names" ] || { echo "$readme shows no pictures"; exit 1; }
failures=0
for name in $names; do
  file="$work/pictures/$name"
  if ! grep -q -x -F "$file" "$work/printed"; then
    echo "not made: $name"; failures=$((failures + 1)); continue
  fi
  signature=$(head -c 8 "$file" | od -A n -t x1 | tr -d ' \n')
  [ "$signature" = 89504e470d0a1a0a ] || { echo "not a PNG: $name"; failures=$((failures + 1)); }
done
[ $failures -eq 0 ] && echo "quorvane-tours: $(echo "$names" | wc -l) pictures, as the README shows them"
[ $failures -eq 0 ]
