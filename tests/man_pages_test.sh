#!/usr/bin/env bash
# The manual pages the build made from the tools' --help: `man -l` shows each line of
# the help's synopsis and each option the help lists at the start of a line of its own.
# Usage: man_pages_test.sh PAGES_DIR TOOL...   (exit 77: man is not installed)
set -euo pipefail

pages=$1
shift
command -v man >/dev/null || { echo "skipped: man is not installed"; exit 77; }
failures=0
for tool in "$@"; do
  name=$(basename "$tool")
  page="$pages/$name.1.gz"
  [[ -s "$page" ]] || { echo "FAIL: the build made no $page"; failures=$((failures + 1)); continue; }
  shown=$(MANWIDTH=80 MAN_KEEP_FORMATTING=0 man -l "$page" 2>/dev/null | col -b | sed 's/^ *//')
  help=$("$tool" --help)
  # "Usage: lzz compress ...", "  or:  lzz info FILE...": the synopsis lines.
  mapfile -t synopsis < <(sed -n -E 's/^(Usage:|  or:) +//p' <<<"$help")
  # "  -f, --force    replace ...": the option as the help names it.
  mapfile -t options < <(sed -n -E 's/^  (-[^ ]+( [A-Z]+)?(, -[^ ]+)?)( +.*)?$/\1/p' <<<"$help")
  ((${#options[@]} > 0)) || { echo "FAIL: no options found in $name --help"; failures=$((failures + 1)); }
  for line in "${synopsis[@]}" "${options[@]}"; do
    awk -v s="$line" 'index($0, s) == 1 && (length($0) == length(s) || substr($0, length(s) + 1, 1) == " ") { found = 1 }
      END { exit !found }' <<<"$shown" && continue
    echo "FAIL: $name's page does not begin a line with '$line'"
    failures=$((failures + 1))
  done
  echo "$name: ${#synopsis[@]} synopsis lines, ${#options[@]} options"
done
((failures == 0)) || exit 1
echo "PASS"
