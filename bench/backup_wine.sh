#!/usr/bin/env bash
# Times a backup of the benchmark corpus by the Windows torq32-cli.exe under Wine, with
# its worker threads and without, and the Linux torq32-cli on the same files in the same
# run, for scale. For the run without workers the program may use one processor
# (taskset -c 0): it then starts no worker threads.
#
#   bench/backup_wine.sh [CORPUS] [WINDOWS_BUILD] [LINUX_BUILD]
#
# CORPUS defaults to bench/corpus (made by bench/make_corpus.sh when missing),
# WINDOWS_BUILD to ./build-win32 (scripts/build-windows.sh makes it), LINUX_BUILD to
# ./build. Wine runs in $WINEPREFIX (else ~/.wine). The ICQ folder holds hard links to
# the corpus's files (copies on another file system): Wine shows symbolic links to
# folders as reparse points, which a backup does not enter.
set -euo pipefail
cd "$(dirname "$0")/.."

source bench/common.sh
windows_build=$(realpath -m "${2:-build-win32}")
bench_setup backup-wine "${1:-bench/corpus}" "${3:-build}"
export WINEDEBUG=-all

mkdir -p "$work/icq" "$work/programs"
: > "$work/icq/icq.exe"
for part in "$corpus"/*/; do
  cp -al "$part" "$work/icq/" 2>/dev/null || cp -r "$part" "$work/icq/"
done
for program in torq32-cli; do
  exe=$(find "$windows_build" -name "$program.exe" -type f | head -1)
  [[ -n $exe ]] || { echo "no $program.exe in $windows_build" >&2; exit 2; }
  cp "$exe" "$work/programs/"
done

windows_path() { winepath -w "$1" 2>/dev/null; }
wine "$work/programs/torq32-cli.exe" --version > /dev/null  # Wine started once, untimed
tar -cf - -C "$work/icq" . > /dev/null                          # the corpus in the page cache
sync

# run NAME COMMAND...: one backup into a fresh folder; prints its time.
run() {
  local name=$1
  shift
  local backup="$work/backup-$name"
  local start end
  start=$(seconds)
  "$@" "$backup" > "$work/screen-$name.txt" 2> /dev/null ||
    { cat "$work/screen-$name.txt" >&2; exit 1; }
  end=$(seconds)
  local listed
  listed=$(head -1 "$backup/icqlist.txt" | tr -d '\r')
  printf '%-34s %7.2f s   (%s)\n' "$name" "$(echo "$end - $start" | bc -l)" "$listed"
  rm -rf "$backup"
  sync
}

# windows_backup [taskset -c N] BACKUP
windows_backup() {
  local backup=${*: -1}
  "${@:1:$#-1}" wine "$work/programs/torq32-cli.exe" --home "$(windows_path "$work/home")" --icq "$(windows_path "$work/icq")" \
    --backup "$(windows_path "$backup")" --yes backup
}
linux_backup() {
  "$cli" --home "$work/home" --icq "$work/icq" --backup "$1" --yes backup
}

run "Windows, workers (Wine)" windows_backup
run "Windows, one process (Wine)" windows_backup taskset -c 0
run "Linux, workers" linux_backup
