#!/usr/bin/env bash
# The Windows and the Linux torq32-cli back up the same ICQ folder: the compressed
# files and the list must be the same bytes, and each program must restore the other's
# backup to the same files with the same dates.
#   interchange_test.sh WINDOWS_CLI_EXE LINUX_CLI [EMULATOR]
# Exits 77 (skipped) when the Linux program is not given or not built.
set -euo pipefail

windows_cli=$1
linux_cli=${2:-}
emulator=${3:-wine}
if [[ -z "$linux_cli" || ! -x "$linux_cli" ]]; then
  echo "no Linux torq32-cli given (VARN_LINUX_TORQ32_CLI): skipped"
  exit 77
fi
# Both programs see the drives of one Wine prefix: the Windows one through Wine, the
# Linux one through the prefix's dosdevices/ links. So both are given the same paths.
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine}
export WINEDEBUG=${WINEDEBUG:--all}
if [[ ! -L "$WINEPREFIX/dosdevices/z:" ]]; then
  echo "the Wine prefix $WINEPREFIX has no drive Z: for the host's root: skipped"
  exit 77
fi

root=$(mktemp -d "${TMPDIR:-/tmp}/varn-interchange-XXXXXX")
trap 'rm -rf "$root"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# The data: text, random and empty files, one bigger than the engine's blocks, names in
# both letter cases and with spaces, folders three deep; dates on even and odd seconds.
icq=$root/ICQ
mkdir -p "$icq/newdb/Sub/Deeper" "$icq/uin" "$icq/plugins/x y" "$icq/db" "$icq/2000b"
: >"$icq/icq.exe"
n=0
for folder in newdb newdb/Sub newdb/Sub/Deeper uin "plugins/x y" db 2000b; do
  for name in a.dat B.DAT "Mixed Case.idx" noext .hidden; do
    file=$icq/$folder/$n-$name
    case $((n % 4)) in
      0) : >"$file" ;;
      1) for ((i = 0; i < n * 40; i++)); do printf 'message %d from UIN 1234%d\r\n' "$i" "$n"; done >"$file" ;;
      2) head -c $((n * 997 + 13)) /dev/urandom >"$file" ;;
      3) head -c $((n * 500)) /dev/zero | tr '\0' 'z' >"$file" ;;
    esac
    touch -d "$((1999 + n % 20))-$((1 + n % 12))-$((1 + n % 28)) $((n % 24)):$((n % 60)):$((n % 60))" "$file"
    n=$((n + 1))
  done
done
{ head -c 300000 /dev/urandom; for ((i = 0; i < 20000; i++)); do echo "line $i"; done; } \
  >"$icq/newdb/big.dat"
touch -d "2003-04-05 06:07:08" "$icq/newdb/big.dat"

# One program's run in a fresh home folder, on $root/ICQ-or-target and $root/backup:
# the same folder names every time, so that the reports can be compared too.
run() {
  local program=$1 icq_folder=$2
  shift 2
  rm -rf "$root/home"
  mkdir "$root/home"
  local args=(--home "$(windows_path "$root/home")" --icq "$(windows_path "$icq_folder")"
              --backup "$(windows_path "$root/backup")" --yes "$@")
  if [[ $program == windows ]]; then
    (cd "$root/home" && "$emulator" "$windows_cli" "${args[@]}")
  else
    (cd "$root/home" && "$linux_cli" "${args[@]}")
  fi
}

for program in linux windows; do
  rm -rf "$root/backup"
  run $program "$icq" backup >"$root/$program-backup.out" ||
    fail "$program backup exited $?: $(cat "$root/$program-backup.out")"
  mv "$root/backup" "$root/backup-$program"
done
# The same report, its lines ended as each system's console programs end them.
same_report() {
  sed 's/$/\r/' "$root/linux-$1.out" >"$root/linux-$1.crlf"
  cmp "$root/linux-$1.crlf" "$root/windows-$1.out" ||
    fail "the $1 reports differ: $(diff "$root/linux-$1.crlf" "$root/windows-$1.out" | cat -A)"
}
same_report backup
[[ -s "$root/backup-linux/icqlist.txt" ]] || fail "no icqlist.txt"
listed=$(head -n1 "$root/backup-linux/icqlist.txt" | tr -d '\r')
[[ "$listed" == "Total Files : $((n + 1))" ]] || fail "the list says '$listed' for $((n + 1)) files"
(cd "$root/backup-linux" && ls -A) >"$root/linux.files"
(cd "$root/backup-windows" && ls -A) >"$root/windows.files"
cmp "$root/linux.files" "$root/windows.files" ||
  fail "the backups hold other files: $(diff "$root/linux.files" "$root/windows.files")"
while read -r name; do
  cmp "$root/backup-linux/$name" "$root/backup-windows/$name" || fail "$name differs"
done <"$root/linux.files"
echo "backups equal: $(wc -l <"$root/linux.files") files"

# Size, last-write time and name of every data file below a folder. An empty file has no
# compressed file, so nothing keeps its time: "-" stands for it. The compressed files keep
# times in steps of two seconds (odd ones rounded down): ROUND=1 rounds so.
dated_files() {
  (cd "$1" && find . -type f ! -name icq.exe -printf '%s %T@ %P\n' | sort -k3 |
   awk -v round="${ROUND:-0}" '{
     split($2, t, "."); time = round ? t[1] - t[1] % 2 : t[1]
     name = $0; sub(/^[^ ]* [^ ]* /, "", name)
     print $1, ($1 == 0 ? "-" : time), name }')
}

# Each restores the other's backup into a folder holding icq.exe alone.
expected=$(ROUND=1 dated_files "$icq")
for pair in "linux windows" "windows linux"; do
  read -r program from <<<"$pair"
  rm -rf "$root/target" "$root/backup"
  mkdir "$root/target"
  : >"$root/target/icq.exe"
  cp -a "$root/backup-$from" "$root/backup"
  run "$program" "$root/target" restore >"$root/$program-restore.out" ||
    fail "$program restore of the $from backup exited $?: $(cat "$root/$program-restore.out")"
  diff -r "$icq" "$root/target" >/dev/null ||
    fail "$program restore of the $from backup: $(diff -rq "$icq" "$root/target")"
  restored=$(dated_files "$root/target")
  [[ "$restored" == "$expected" ]] ||
    fail "$program restore of the $from backup: dates differ:
$(diff <(echo "$expected") <(echo "$restored"))"
  echo "$program restored the $from backup: equal"
done
same_report restore
echo "interchange: both ways equal"
