#!/usr/bin/env bash
# Times a backup whose back.dat names ENTRIES folders that do not exist (and, last, the
# one that does), from an ICQ folder that holds a thousand files: the reading of back.dat
# and the look for each entry's folder, which should take time in proportion to them.
#
#   bench/back_dat.sh [ENTRIES] [BUILD]      (defaults: 10000, ./build)
set -euo pipefail
cd "$(dirname "$0")/.."
entries=${1:-10000}
cli=$(realpath -m "${2:-build}")/tools/torq32-cli
[[ -x $cli ]] || { echo "no $cli: build the target torq32-cli first" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/varn-bench-back-dat.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/icq/newdb" "$work/backup"
: > "$work/icq/icq.exe"
for n in $(seq 1000); do echo "$n" > "$work/icq/f$n.dat"; done
echo data > "$work/icq/newdb/a.dat"
{
  for n in $(seq "$entries"); do printf 'missing%d\r\n' "$n"; done
  printf 'newdb\r\nTheEnd\r\nbenchmark\r\n'
} > "$work/home/back.dat"

start=$(date +%s.%N)
"$cli" --home "$work/home" --icq "$work/icq" --backup "$work/backup" --yes backup > "$work/screen.txt"
end=$(date +%s.%N)
printf 'back.dat of %d entries: %.2f s   (%s)\n' "$entries" "$(echo "$end - $start" | bc -l)" \
  "$(head -1 "$work/backup/icqlist.txt" | tr -d '\r')"
