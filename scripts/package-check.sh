#!/usr/bin/env bash
# The package stage: builds the Debian package, checks its file list and its
# dependencies, unpacks it into a scratch root and runs the installed programs
# from there, checks that the editor holds none of the documentation's tours, that
# apt could install it, and runs lintian (errors fail).
#   scripts/package-check.sh [BUILD_DIR]          (default build-package; see scripts/package.sh)
set -uo pipefail
cd "$(dirname "$0")/.."
b=${1:-build-package}
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

deb=$(scripts/package.sh "$b" | tail -n 1)
[ -f "$deb" ] || { echo "FAILED: no package built"; exit 1; }
echo "package: built $deb"

# --- file list: exactly these files, nothing else --------------------------------
expected=(
  ./usr/bin/quorvane-cli
  ./usr/bin/quorvane-editor
  ./usr/bin/quorvane-sim
  ./usr/share/applications/org.quorvane.ParameterEditor.desktop
  ./usr/share/doc/quorvane-editor/changelog.gz
  ./usr/share/doc/quorvane-editor/copyright
  ./usr/share/icons/hicolor/scalable/apps/quorvane-editor.svg
  ./usr/share/man/man1/quorvane-cli.1.gz
  ./usr/share/man/man1/quorvane-editor.1.gz
  ./usr/share/man/man1/quorvane-sim.1.gz
  ./usr/share/metainfo/org.quorvane.ParameterEditor.metainfo.xml
)
listing=$(dpkg-deb -c "$deb")
actual=$(echo "$listing" | awk '$1 !~ /^d/ {print $NF}' | sort)
wanted=$(printf '%s\n' "${expected[@]}" | sort)
if [ "$actual" != "$wanted" ]; then
  fail "the package's files differ from the expected list:"
  diff <(echo "$wanted") <(echo "$actual")
fi
for program in quorvane-cli quorvane-editor quorvane-sim; do
  echo "$listing" | grep -E "^-rwxr-xr-x root/root .* \./usr/bin/$program\$" > /dev/null ||
    fail "/usr/bin/$program is not an executable owned by root"
done

# --- dependencies, computed from the programs --------------------------------------
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for library in libc6 libstdc\\+\\+6 libgcc-s1 libqt6core6 libqt6gui6 libqt6widgets6; do
  echo "$depends" | grep -q -E "(^|, )$library( |,|$)" || fail "Depends lacks $library"
done
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] ||
  fail "Architecture is not $(dpkg --print-architecture)"

# --- the installed programs run from a scratch root ------------------------------
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
for program in quorvane-cli quorvane-sim quorvane-editor; do
  if "$root/usr/bin/$program" --help > "$root/$program.help" 2>&1; then
    head -n 1 "$root/$program.help"
    zcat "$root/usr/share/man/man1/$program.1.gz" > "$root/$program.1"
    sh tests/packaging/manual_matches_help.sh "$root/usr/bin/$program" "$root/$program.1" ||
      fail "the installed manual of $program does not match its --help"
  else
    fail "installed $program --help: $(cat "$root/$program.help")"
  fi
done

# --- the editor holds no tour: the pictures are quorvane-tours' job -----------------
# The build tree's editor is the installed one before CPack stripped it: its symbols
# must name the window (or nm shows nothing to check) and nothing of the tours.
symbols=$(nm -C "$b/app/qt/quorvane-editor" 2>&1)
if ! grep -q 'quorvane::TForm1Window::' <<< "$symbols"; then
  fail "nm -C $b/app/qt/quorvane-editor shows no symbols of the window: $(head -n 3 <<< "$symbols")"
elif tour_symbols=$(grep -i -E 'screenshot|tour' <<< "$symbols"); then
  fail "the editor holds the tours' code: $(head -n 5 <<< "$tour_symbols")"
else
  echo "nm -C quorvane-editor: $(wc -l <<< "$symbols") symbols, none of the tours"
fi
# The stripped, installed editor: none of the tours' texts.
if tour_texts=$(strings "$root/usr/bin/quorvane-editor" |
                grep -E 'quorvane-tours|--screenshots|traffic-panel\.png|compare-dialog\.png'); then
  fail "the installed editor holds the tours' texts: $(head -n 3 <<< "$tour_texts")"
fi

# --- apt would install it: every dependency resolves ------------------------------
if apt-get install -s -qq "./$deb" > "$root/apt.log" 2>&1 || apt-get install -s -qq "$(realpath "$deb")" > "$root/apt.log" 2>&1; then
  echo "apt-get install -s: the package and its dependencies resolve"
else
  fail "apt-get install -s: $(cat "$root/apt.log")"
fi

# --- lintian: no errors -----------------------------------------------------------
lintian --fail-on error --tag-display-limit 0 "$deb" > "$root/lintian.log" 2>&1
lintian_status=$?
cat "$root/lintian.log"
errors=$(grep -c '^E: ' "$root/lintian.log")
warnings=$(grep -c '^W: ' "$root/lintian.log")
[ "$lintian_status" -eq 0 ] && [ "$errors" -eq 0 ] || fail "lintian reports $errors errors"

files=$(echo "$actual" | wc -l)
echo "package: $(basename "$deb"), $files files, lintian $errors errors $warnings warnings, $([ $failures -eq 0 ] && echo passed || echo "$failures checks FAILED")"
[ $failures -eq 0 ]
