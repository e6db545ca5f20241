#!/usr/bin/env bash
# The Windows programs' identity, read from the files as Windows reads them: each one
# carries the program's icon, version information and a manifest (run as the user,
# DPI-aware); its PE header names the oldest Windows it runs on; and it imports from the
# system libraries nothing that Windows XP SP3 lacks (tests/windows_xp_exports.txt).
# Usage: windows_identity_test.sh OBJDUMP WINDRES MINIMUM VERSION EXE...
#   MINIMUM: the PE header's OS and subsystem version, 5.1 (i686) or 5.2 (x86_64)
#   VERSION: the project's version, as the version information gives it (0.9.3.0)
set -euo pipefail

objdump=$1 windres=$2 minimum=$3 version=$4
shift 4
exports="$(dirname "$0")/windows_xp_exports.txt"
# The libraries the list speaks for; the C runtime and any other are left to
# scripts/build-windows.sh, which allows only libraries every Windows has.
checked_dlls='^(kernel32|user32|gdi32|advapi32|shell32|comctl32|version)\.dll$'

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() {
  echo "FAIL: $*" >&2
  failed=1
}

for exe in "$@"; do
  name=$(basename "$exe")
  "$objdump" -p "$exe" >"$work/headers.txt"

  for field in MajorOSystemVersion MinorOSystemVersion MajorSubsystemVersion MinorSubsystemVersion; do
    want=${minimum%.*}
    [[ $field == Minor* ]] && want=${minimum#*.}
    got=$(awk -v f="$field" '$1 == f { print $2 }' "$work/headers.txt")
    [[ "$got" == "$want" ]] || fail "$name: $field is '$got', not $want"
  done

  awk '/DLL Name:/ { dll = tolower($3) }
       /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ { print dll, $3 }' "$work/headers.txt" |
    awk -v re="$checked_dlls" '$1 ~ re' | sort -u >"$work/imports.txt"
  [[ -s "$work/imports.txt" ]] || fail "$name: no imports read from it"
  grep -v '^#' "$exports" | sort -u >"$work/allowed.txt"
  missing=$(comm -23 "$work/imports.txt" "$work/allowed.txt")
  [[ -z "$missing" ]] || fail "$name imports what Windows XP lacks:"$'\n'"$missing"

  "$windres" -i "$exe" -O rc >"$work/resources.rc" || fail "$name: its resources cannot be read"
  grep -q 'RT_GROUP_ICON' "$work/resources.rc" || fail "$name carries no icon"
  grep -q "VALUE \"FileVersion\", \"$version\"" "$work/resources.rc" ||
    fail "$name carries no version information of $version"
  grep -q 'RT_MANIFEST' "$work/resources.rc" || fail "$name carries no manifest"
  for setting in 'level=""asInvoker""' '>true</dpiAware>'; do
    grep -qF "$setting" "$work/resources.rc" || fail "$name's manifest lacks $setting"
  done
  ((failed)) || echo "$name: Windows $minimum, $(wc -l <"$work/imports.txt") system calls XP has, icon, version, manifest"
done
((failed == 0)) && echo "PASS"
exit "$failed"
