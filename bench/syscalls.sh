#!/usr/bin/env bash
# The system calls of a backup and of a restore of the corpus, per file: each run under
# `strace -f -c` (every thread counted), set up as bench/backup.sh and bench/restore.sh
# set up theirs. Prints the total per file and the calls that make up most of it.
# Usage: bench/syscalls.sh [CORPUS] [BUILD]     (needs strace)
set -euo pipefail
cd "$(dirname "$0")/.."

source bench/common.sh
command -v strace >/dev/null || { echo "strace is not installed" >&2; exit 2; }
bench_setup syscalls "$@"
files=$(find -L "$corpus" -type f | wc -l)

# Prints the count of one run's summary (strace -c's table in FILE) per corpus file.
per_file() {
  local what=$1 summary=$2
  awk -v what="$what" -v files="$files" '
    /^-/ { table = !table; next }
    table { calls[$NF] = $4 }
    /total$/ { total = $4 }
    END {
      printf "%-8s %6.1f calls a file:", what, total / files
      n = 0
      for (c in calls) order[n++] = c
      for (i = 0; i < n; i++) for (j = i + 1; j < n; j++)
        if (calls[order[j]] > calls[order[i]]) { t = order[i]; order[i] = order[j]; order[j] = t }
      for (i = 0; i < n && i < 8; i++) printf " %s %.1f", order[i], calls[order[i]] / files
      printf "\n"
    }' "$summary"
}

bench_icq_folder "$work/source"
strace -f -c -o "$work/backup.txt" \
  "$cli" --home "$work/home" --icq "$work/source" --backup "$work/backup" --yes backup \
  > /dev/null 2>&1 || { echo "the backup failed" >&2; exit 1; }
per_file backup "$work/backup.txt"

# The restore writes into a folder of its own: it refuses an ICQ folder of links.
mkdir "$work/icq"
: > "$work/icq/icq.exe"
strace -f -c -o "$work/restore.txt" \
  "$cli" --home "$work/home" --icq "$work/icq" --backup "$work/backup" --yes restore \
  > /dev/null 2>&1 || { echo "the restore failed" >&2; exit 1; }
per_file restore "$work/restore.txt"
