#!/usr/bin/env bash
# Times a whole backup of the benchmark corpus with torq32-cli against its peer, measured
# in the same run on the same files: `tar -czf` (gzip level 6) followed by `sync`.
# Prints both times, their ratio and torq32-cli's peak memory, then the time of the same
# backup again over the one just made.
#
#   bench/backup.sh [CORPUS] [BUILD]
#
# CORPUS defaults to bench/corpus (made by bench/make_corpus.sh when missing), BUILD to
# ./build (it must hold tools/torq32-cli). The backup runs in a temporary home whose
# back.dat names the corpus's folders, from an ICQ folder that links to them and holds
# an empty icq.exe; its output and the archive are written beside it, on one disk.
set -euo pipefail
cd "$(dirname "$0")/.."

source bench/common.sh
bench_setup backup "$@"
bench_icq_folder "$work/icq"

# Both read the corpus from the page cache: read it once before either runs.
tar -cf - -C "$corpus" . > /dev/null
sync

start=$(seconds)
tar -czf "$work/corpus.tar.gz" -C "$corpus" .
sync
end=$(seconds)
tar_seconds=$(echo "$end - $start" | bc -l)
sync

start=$(seconds)
/usr/bin/time -v -o "$work/time.txt" \
  "$cli" --home "$work/home" --icq "$work/icq" --backup "$work/backup" --yes backup \
  > "$work/screen.txt" 2> /dev/null || { cat "$work/screen.txt" >&2; exit 1; }
end=$(seconds)
backup_seconds=$(echo "$end - $start" | bc -l)

# The same backup again over the one just made: the earlier backup stays whole until the
# new one is in place, so for a while the disk holds both.
sync
start=$(seconds)
"$cli" --home "$work/home" --icq "$work/icq" --backup "$work/backup" --yes backup \
  > "$work/screen2.txt" 2> /dev/null || { cat "$work/screen2.txt" >&2; exit 1; }
end=$(seconds)
again_seconds=$(echo "$end - $start" | bc -l)

peak_kb=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt")
listed=$(head -1 "$work/backup/icqlist.txt" | tr -d '\r')
tar_bytes=$(stat -c %s "$work/corpus.tar.gz")
backup_bytes=$(du -sb --apparent-size "$work/backup" | cut -f1)

printf '%s\n' "$(sed -n '5,6p' "$work/screen.txt")" >&2
printf 'tar -czf + sync   %7.2f s   %6.1f MB\n' "$tar_seconds" "$(echo "$tar_bytes / 1000000" | bc -l)"
printf 'torq32-cli backup %7.2f s   %6.1f MB   (%s)\n' "$backup_seconds" \
  "$(echo "$backup_bytes / 1000000" | bc -l)" "$listed"
printf 'ratio             %7.2f x   (target <= 2.0)\n' "$(echo "$backup_seconds / $tar_seconds" | bc -l)"
printf 'backup over it    %7.2f s   ratio %.2f x\n' "$again_seconds" \
  "$(echo "$again_seconds / $tar_seconds" | bc -l)"
printf 'peak memory       %7.1f MB  (target < 32)\n' "$(echo "$peak_kb / 1024" | bc -l)"

# The restore half, on the same corpus (bench/README.md).
bench/restore.sh "$corpus" "$build"
