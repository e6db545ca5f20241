#!/usr/bin/env bash
# The 32-bit torq32.exe under Wine on Xvfb backs up an ICQ folder with the default
# back.dat and restores it, driven by clicks as a user drives it; its message screen
# after start-up, after the backup and after the restore equals, line for line, what the
# Linux program (torq32-cli) reports for the same data in the same folders; and each
# restore puts back the files the backup took. Then, during a long backup, the window
# repaints and moves its gauge but holds back a click until the backup has ended; a click
# on the close box asks whether to stop even after a click on About, No lets the backup
# end and About run after it; Escape asks too, and Yes stops the backup at once, leaving
# nothing half-written in the backup folder, and ends the program.
# Usage: win32_window_reports_test.sh torq32.exe window_probe.exe PREFIX LINUX_TORQ32_CLI
#   PREFIX: the Wine prefix the window tests share (made when missing); its drive C: is
#   drive C: of both programs (the Linux one reads the prefix's drive links).
# Exit 77: wine, Xvfb, xdotool, ImageMagick or the Linux torq32-cli is missing.
set -euo pipefail

exe=$(realpath "$1")
probe=$(realpath "$2")
prefix=$(realpath -m "$3")
linux_cli=${4:-}
source "$(dirname "$0")/wine_window_lib.sh"
wine_window_tools_or_skip xdotool import compare shuf base64 diff cmp
if [[ -z "$linux_cli" || ! -x "$linux_cli" ]]; then
  echo "skipped: no Linux torq32-cli to compare with ('$linux_cli'; build the Linux tree first," \
    "or set VARN_LINUX_TORQ32_CLI)"
  exit 77
fi
linux_cli=$(realpath "$linux_cli")

report_limit=120  # seconds for one action, generous for a loaded machine
long_file_mb=200  # a data file that takes the backup seconds

work=$(mktemp -d)
folder=""
cleanup() {
  wine_window_stop
  [[ -n "$folder" ]] && rm -rf "$folder"
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  [[ -s "$work/torq32.log" ]] && sed 's/^/torq32: /' "$work/torq32.log" >&2
  exit 1
}

wine_window_prefix "$prefix"
# C:\varn-reports-XXXXXX\{home,ICQ,Backup}: the same Windows paths for both programs.
folder=$(mktemp -d "$prefix/drive_c/varn-reports-XXXXXX")
name=$(basename "$folder")
home="$folder/home" icq="$folder/ICQ" backup="$folder/Backup"

# ICQ data in folders of the default back.dat, one of them deeper down, and an empty
# file; one file large enough that the gauge has a way to go.
make_icq_folder() {
  rm -rf "$icq"
  mkdir -p "$icq/NewDB" "$icq/2000b/12345678" "$icq/uin"
  : >"$icq/icq.exe"
  cp "$work/data/"* "$icq/NewDB/"
  head -c 20000 "$work/data/big.dat" >"$icq/2000b/12345678/messages.dat"
  : >"$icq/uin/empty.dat"
  printf '12345678\r\n' >"$icq/uin/uin.txt"
}
mkdir -p "$work/data"
# Text that compresses: lines drawn at random from a pool of 48 random lines.
head -c $((48 * 63 * 3 / 4)) /dev/urandom | base64 -w 63 >"$work/pool"
shuf -r -n 20000 "$work/pool" >"$work/data/big.dat"
head -c 3000 /dev/urandom >"$work/data/12345678.idx"
head -c 40000 "$work/data/big.dat" >"$work/data/12345678.dat"
cp -a "$work/data" "$work/original_data"

# Both start from the same settings and write the default back.dat themselves.
fresh_start() {
  make_icq_folder
  rm -rf "$home" "$backup"
  mkdir -p "$home" "$backup"
  printf 'C:\\%s\\ICQ\r\nC:\\%s\\Backup\r\n' "$name" "$name" >"$home/pref.cfg"
  cp -a "$icq" "$work/icq_before"
}
# What the restore has to mend: a data file gone, another one changed.
damage() {
  rm "$icq/NewDB/12345678.idx"
  printf 'changed' >"$icq/2000b/12345678/messages.dat"
}
same_icq_folder() {
  diff -r "$work/icq_before" "$icq" >"$work/diff.txt" 2>&1 ||
    fail "the restore did not put back the ICQ folder ($1): $(cat "$work/diff.txt")"
  rm -rf "$work/icq_before"
}

# --- Linux: torq32-cli ---------------------------------------------------------------
fresh_start
(
  cd "$home"
  export WINEPREFIX="$prefix"
  "$linux_cli" >"$work/linux_startup.txt"
  "$linux_cli" backup >"$work/linux_backup.txt"
  damage
  "$linux_cli" restore --yes >"$work/linux_restore.txt"
) || fail "torq32-cli failed: $(cat "$work"/linux_*.txt)"
same_icq_folder Linux
grep -q 'Backup Successful' "$work/linux_backup.txt" ||
  fail "the Linux backup did not succeed: $(cat "$work/linux_backup.txt")"

# --- Windows: torq32.exe, clicked ------------------------------------------------------
fresh_start
wine_window_display
wine_window_start "$home" "$exe"
window=$(wine_window_wait_painted "$work/start.png") || exit 1

screen() { wine "$probe" text; }
click() { wine_window_click "$probe" "$1"; }
# Any window of the program's but the main one is a message box.
message_box() {
  local other
  for other in $(xdotool search --onlyvisible --name '.' 2>/dev/null || true); do
    [[ "$other" == "$window" ]] && continue
    xdotool getwindowname "$other" 2>/dev/null || true
  done
}
# Waits until the screen ends in the report's last line (an error report or a message
# box ends the wait too), then holds the screen to the report.
expect_report() {
  local action=$1 expected=$2 last deadline=$((SECONDS + report_limit))
  last=$(tail -n 1 "$expected")
  while :; do
    screen >"$work/windows_$action.txt" || fail "the window did not answer during the $action"
    [[ "$(tail -n 1 "$work/windows_$action.txt")" == "$last" ]] && break
    grep -q '^ Error!$' "$work/windows_$action.txt" && break
    [[ -n "$(message_box)" ]] && fail "a message box opened during the $action: $(message_box)"
    ((SECONDS < deadline)) || break
    sleep 0.5
  done
  diff -u "$expected" "$work/windows_$action.txt" >"$work/report.diff" ||
    fail "the $action's report differs from the Linux program's:"$'\n'"$(cat "$work/report.diff")"
  echo "the $action's report: $(wc -l <"$expected") lines, as the Linux program's"
}

screen >"$work/windows_startup.txt"
diff -u "$work/linux_startup.txt" "$work/windows_startup.txt" >"$work/report.diff" ||
  fail "the start-up screen differs from the Linux program's:"$'\n'"$(cat "$work/report.diff")"

click Backup
expect_report backup "$work/linux_backup.txt"
[[ -s "$backup/icqlist.txt" ]] || fail "the backup wrote no icqlist.txt"

damage
click Restore
# The warning before the restore: OK is its default button.
warning=$(wine_window_box Warning)
[[ -n "$warning" ]] || fail "the restore asked no warning"
# It stands in the middle of the screen, not of the window.
read -r screen_width screen_height < <(xdotool getdisplaygeometry)
eval "$(xdotool getwindowgeometry --shell "$warning")"
centre_x=$((X + WIDTH / 2)) centre_y=$((Y + HEIGHT / 2))
((centre_x >= screen_width / 2 - 1 && centre_x <= screen_width / 2 + 1 &&
  centre_y >= screen_height / 2 - 1 && centre_y <= screen_height / 2 + 1)) ||
  fail "the warning's middle is at $centre_x,$centre_y on a ${screen_width}x$screen_height screen"
xdotool windowfocus --sync "$warning" 2>/dev/null || true
xdotool key Return
expect_report restore "$work/linux_restore.txt"
same_icq_folder Windows

# --- A long backup ---------------------------------------------------------------------
pending_list="$home/icqlist.tmp"  # there from the backup's start to its end
backup_running() { [[ -e "$pending_list" ]]; }
gauge() { wine "$probe" text ProgressBar; }
start_long_backup() {
  click Backup
  # An earlier backup is there: the question whether to overwrite it, Yes its default.
  local question
  question=$(wine_window_box Confirm)
  [[ -n "$question" ]] || fail "the backup did not ask before overwriting the earlier one"
  xdotool windowfocus --sync "$question" 2>/dev/null || true
  xdotool key Return
  local deadline=$((SECONDS + 20))
  until backup_running && [[ "$(gauge)" != "0%" ]]; do
    ((SECONDS < deadline)) || fail "the long backup did not start moving its gauge"
    sleep 0.2
  done
}
# One long data file alone: the gauge goes through it.
rm -rf "${icq:?}"/NewDB/* "$icq/2000b" "$icq/uin"
shuf -r -n $((long_file_mb * 1024 * 1024 / 64)) "$work/pool" >"$icq/NewDB/long.dat"

# A click on Clear Screen waits: the backup's screen stays, then the banner comes.
start_long_backup
click ClearScreen
sleep 1
backup_running || fail "the long backup ended too soon to be watched (too little data?)"
screen >"$work/during.txt"
grep -q 'Varn ICQ Backup - 32 bit' "$work/during.txt" &&
  fail "the click on Clear Screen ran during the backup"
# The gauge on its way: the places it is seen at between 0% and 100%.
deadline=$((SECONDS + report_limit))
: >"$work/gauges.txt"
while backup_running; do
  ((SECONDS < deadline)) || fail "the long backup did not end"
  gauge >>"$work/gauges.txt"
  sleep 0.2
done
places=$(grep -v -x -e '0%' -e '100%' "$work/gauges.txt" | sort -u | wc -l)
((places >= 2)) || fail "the gauge did not move during the backup: $(sort -u "$work/gauges.txt" | tr '\n' ' ')"
deadline=$((SECONDS + 20))
until screen >"$work/after.txt" && cmp -s "$work/after.txt" "$work/linux_startup.txt" &&
  [[ "$(gauge)" == "0%" ]]; do
  ((SECONDS < deadline)) || fail "the held click on Clear Screen did not run after the backup:" \
    "$(cat "$work/after.txt")"
  sleep 0.5
done
echo "the gauge stood at $places places during the backup; a click during it ran after it"

stop_question() {
  local question
  question=$(wine_window_box Confirm)
  [[ -n "$question" ]] || fail "$1 during the backup asked nothing"
  [[ "$(wine "$probe" box)" == $'Confirm\nAction in progress !\n\nStop it and close the window ?' ]] ||
    fail "$1 asked: $(wine "$probe" box)"
}

# About, then the close box a second later: the question comes; No lets the backup end,
# and About runs after it.
start_long_backup
click About
sleep 1
read -r left top width _ < <(wine "$probe" place)
xdotool mousemove --sync $((left + width - 14)) $((top + 12)) click 1
stop_question "a click on the close box"
wine "$probe" answer no
deadline=$((SECONDS + report_limit))
while backup_running; do
  ((SECONDS < deadline)) || fail "the long backup did not end after No"
  sleep 0.2
done
[[ -s "$backup/icq1.lzz" ]] || fail "the backup did not end as it should after No"
deadline=$((SECONDS + 20))
until [[ "$(screen | tail -n 1)" == " Thanks for using Varn ICQ Backup!" ]]; do
  ((SECONDS < deadline)) || fail "the click on About was lost: $(screen | tail -n 3)"
  sleep 0.3
done
echo "the close box asked after a click on About; No let the backup end, then About ran"

# Escape asks too; Yes stops the backup, and the program ends with it.
rm -rf "$work/backup_before"
cp -a "$backup" "$work/backup_before"
start_long_backup
xdotool windowfocus --sync "$window" 2>/dev/null || true
xdotool key Escape
stop_question Escape
wine "$probe" answer yes
started=$(date +%s%N)
while backup_running; do
  (($(date +%s%N) - started < 10 * 1000000000)) || fail "the backup did not stop after Yes"
  sleep 0.05
done
stopped_ms=$((($(date +%s%N) - started) / 1000000))
# Stopped, not finished: the backup folder below shows it; the time is for the log (Wine
# waits about two seconds for a window manager to take the box down, and none runs here).
# Nothing half-written is left: what the backup folder holds is what it held before.
for file in "$backup"/*; do
  [[ -e "$file" ]] || continue
  cmp -s "$file" "$work/backup_before/$(basename "$file")" ||
    fail "the stopped backup left $(basename "$file") unfinished or new"
done
deadline=$((SECONDS + 60))
while kill -0 "$wine_window_app_pid" 2>/dev/null; do
  ((SECONDS < deadline)) || fail "the program did not end after its backup was stopped"
  sleep 0.2
done
wine_window_app_pid=""
echo "Escape during the backup asked; Yes stopped it in $stopped_ms ms and ended the program"

echo "PASS"
