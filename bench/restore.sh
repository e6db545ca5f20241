#!/usr/bin/env bash
# Times a whole restore of the benchmark corpus with torq32-cli, into an empty ICQ
# folder, against its peer measured in the same run on the same files: `tar -xzf` of the
# corpus's archive (gzip level 6) followed by `sync`. Both write the same files to the
# same disk and make them durable. Prints both times and their ratio, then checks the
# restored tree against the corpus.
#
#   bench/restore.sh [CORPUS] [BUILD]
#
# CORPUS defaults to bench/corpus (made by bench/make_corpus.sh when missing), BUILD to
# ./build (it must hold tools/torq32-cli). The backup to restore and the archive are
# made first, untimed, with torq32-cli backup and tar -czf.
set -euo pipefail
cd "$(dirname "$0")/.."

source bench/common.sh
bench_setup restore "$@"
bench_icq_folder "$work/source"

# What each side restores from, made untimed.
"$cli" --home "$work/home" --icq "$work/source" --backup "$work/backup" --yes backup \
  > /dev/null 2>&1 || { echo "the backup to restore failed" >&2; exit 1; }
tar -czf "$work/corpus.tar.gz" -C "$corpus" .
# Both read their input from the page cache; nothing else is waiting to be written.
cat "$work/backup"/* "$work/corpus.tar.gz" > /dev/null
sync

mkdir "$work/untarred"
start=$(seconds)
tar -xzf "$work/corpus.tar.gz" -C "$work/untarred"
sync
end=$(seconds)
tar_seconds=$(echo "$end - $start" | bc -l)
sync

mkdir "$work/icq"
: > "$work/icq/icq.exe"
start=$(seconds)
"$cli" --home "$work/home" --icq "$work/icq" --backup "$work/backup" --yes restore \
  > "$work/screen.txt" 2> /dev/null || { cat "$work/screen.txt" >&2; exit 1; }
end=$(seconds)
restore_seconds=$(echo "$end - $start" | bc -l)

printf 'tar -xzf + sync     %7.2f s\n' "$tar_seconds"
printf 'torq32-cli restore  %7.2f s   (%s)\n' "$restore_seconds" \
  "$(head -1 "$work/backup/icqlist.txt" | tr -d '\r')"
printf 'ratio               %7.2f x   (target <= 3.0)\n' \
  "$(echo "$restore_seconds / $tar_seconds" | bc -l)"

rm "$work/icq/icq.exe"
if diff -r "$corpus" "$work/icq" > /dev/null; then
  echo "restored tree: identical to the corpus" >&2
else
  echo "restored tree: DIFFERS from the corpus" >&2
  exit 1
fi
