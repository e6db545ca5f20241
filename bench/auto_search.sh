#!/usr/bin/env bash
# Times AutoSearch over the whole host file system with torq32-cli against its peer,
# measured in the same run over the same folders: `find / -xdev -type d`.
# Prints the best time of each over a few rounds, their ratio and the number of
# folders find listed.
#
#   bench/auto_search.sh [BUILD [ROUNDS]]
#
# BUILD defaults to ./build (it must hold tools/torq32-cli), ROUNDS to 3. The search
# runs from a temporary home, without a saved setting, with a Wine-style prefix whose
# only drive link makes C: the host's "/": the walk of C: goes to its end whatever it
# finds, so both sides read every folder of the root file system once. On merged-/usr
# systems "/bin", "/lib" and "/sbin" are links into "/usr", met first; "/usr/bin" is
# then a folder already entered.
set -euo pipefail
cd "$(dirname "$0")/.."

build=$(realpath -m "${1:-build}")
rounds=${2:-3}
cli=$build/tools/torq32-cli
[[ -x $cli ]] || { echo "no $cli: build the target torq32-cli first" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/varn-bench-search.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/prefix/dosdevices"
ln -s / "$work/prefix/dosdevices/c:"

seconds() { date +%s.%N; }
best() { if [[ -z $1 ]] || (( $(echo "$2 < $1" | bc -l) )); then echo "$2"; else echo "$1"; fi; }

# Both read the folders from the kernel's caches: walk them once before either runs.
find / -xdev -type d > /dev/null 2>&1 || true

# The two take turns, ROUNDS times; the best time of each counts, so that the other
# load of a shared machine disturbs the figures less.
find_seconds="" search_seconds=""
for (( round = 0; round < rounds; round++ )); do
  start=$(seconds)
  folders=$(find / -xdev -type d 2> /dev/null | wc -l || true)
  end=$(seconds)
  find_seconds=$(best "$find_seconds" "$(echo "$end - $start" | bc -l)")

  rm -f "$work/home/pref.cfg"  # no saved setting: the walk runs every time
  start=$(seconds)
  status=0
  WINEPREFIX="$work/prefix" "$cli" --home "$work/home" search > "$work/screen.txt" 2> /dev/null ||
    status=$?
  end=$(seconds)
  # Exit status 1 is the "cannot be found" report; anything else is a failure.
  if [[ $status -ne 0 && $status -ne 1 ]]; then
    cat "$work/screen.txt" >&2
    exit 1
  fi
  search_seconds=$(best "$search_seconds" "$(echo "$end - $start" | bc -l)")
done

result=$(sed -n '2p;4p' "$work/screen.txt" | sed 's/^ //' | paste -sd ' ')
printf 'find / -xdev -type d   %7.2f s   (%s folders)\n' "$find_seconds" "$folders"
printf 'torq32-cli search      %7.2f s   (%s)\n' "$search_seconds" "$result"
printf 'ratio                  %7.2f x   (target <= 2.0)\n' \
  "$(echo "$search_seconds / $find_seconds" | bc -l)"
