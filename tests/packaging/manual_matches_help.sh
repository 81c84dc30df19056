#!/bin/sh
# A program's manual page and its --help text name the same options (and, for
# quorvane-cli, the same commands and groups; for quorvane-sim, the same faults).
#   manual_matches_help.sh PROGRAM MANUAL
set -u
program=$1 manual=$2
help=$("$program" --help) || { echo "$program --help failed"; exit 1; }
failures=0
# compare WHAT HELP_LIST MANUAL_LIST: both lists of words, one per line
compare() {
  missing=$(printf '%s\n' "$2" | sort -u | comm -23 - "$(printf '%s\n' "$3" | sort -u > "$tmp"; echo "$tmp")")
  extra=$(printf '%s\n' "$3" | sort -u | comm -23 - "$(printf '%s\n' "$2" | sort -u > "$tmp"; echo "$tmp")")
  if [ -n "$missing" ]; then echo "$1 in --help but not in the manual: $missing"; failures=$((failures + 1)); fi
  if [ -n "$extra" ]; then echo "$1 in the manual but not in --help: $extra"; failures=$((failures + 1)); fi
}
tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT
# The manual's text with roff escapes undone.
text=$(sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' "$manual")
section() { printf '%s\n' "$text" | awk -v s="$1" '/^\.SH /{on = ($2 == s)} on && !/^\.SH /'; }

help_options=$(printf '%s\n' "$help" | grep -o -E -- '--[a-z][a-z-]*' | grep -v -x -- '--help')
manual_options=$(section OPTIONS | grep -o -E -- '--[a-z][a-z-]*' | grep -v -x -- '--help')
compare options "$help_options" "$manual_options"

case "$(basename "$program")" in
  quorvane-cli*)
    help_commands=$(printf '%s\n' "$help" | awk '/^commands:/{on=1; next} /^[a-z]/{on=0} on' |
                    tr '|' '\n' | awk 'NF {print $1}')
    manual_commands=$(section COMMANDS | grep -E '^\.(B|BI|BR) ' | sed -E 's/^\.[A-Z]+ //' |
                      tr ',' '\n' | tr -d '"' | awk 'NF {print $1}' | grep -E '^[a-z][a-z0-9-]*$')
    compare commands "$help_commands" "$manual_commands"
    help_groups=$(printf '%s\n' "$help" | sed -n 's/^groups: //p' | tr ' ' '\n')
    manual_groups=$(section GROUPS | sed -E 's/^\.[A-Z]+ //' | tr ',' '\n' | tr -d '" ' | grep .)
    compare groups "$help_groups" "$manual_groups"
    ;;
  quorvane-sim*)
    help_faults=$(printf '%s\n' "$help" | awk '/^Faults:/{on=1; next} on && NF {print $1}')
    manual_faults=$(section FAULTS | sed -n 's/^\.B //p')
    compare faults "$help_faults" "$manual_faults"
    ;;
esac
[ $failures -eq 0 ] && echo "$(basename "$program"): the manual and --help agree"
[ $failures -eq 0 ]
