#!/usr/bin/env bash
# torq32 under a real X server (Xvfb) during a real long action: a backup of about
# 100 MB of generated ICQ data files. While it runs:
#   - the gauge moves on screen, and the window repaints after it is unmapped and mapped
#     again (the window is not frozen);
#   - a click on Clear Screen made from another process waits: when the backup has ended
#     and is complete, the screen shows the banner with the gauge at 0% (Clear Screen's
#     result) instead of the backup's success report at 100%.
# Usage: window_xvfb_test.sh path/to/torq32     (exit 77: a needed tool is missing)
set -euo pipefail

torq32=$(realpath "$1")
for tool in Xvfb xdotool import convert compare base64 shuf split; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

# Enough data that the backup takes seconds on a fast machine with four workers too.
data_files=384
data_file_kb=256
# Time limits, generous for a loaded machine.
startup_limit=20
progress_limit=30
backup_limit=90
settle_limit=15

work=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup() {
  [[ -n "$app_pid" ]] && kill "$app_pid" 2>/dev/null || true
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  [[ -s "$work/torq32.log" ]] && sed 's/^/torq32: /' "$work/torq32.log" >&2
  exit 1
}
now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }
less_than() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }
minus() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.4f", a - b }'; }
test_start=$(now)

# Drive C: of a Wine prefix of our own: C:\home is the program's home folder, C:\ICQ the
# ICQ folder, C:\Backup an empty backup folder (no earlier backup, so no question).
drive_c="$work/drive_c"
home="$drive_c/home"
mkdir -p "$work/prefix/dosdevices" "$home" "$drive_c/ICQ/newdb" "$drive_c/Backup"
ln -s "$drive_c" "$work/prefix/dosdevices/c:"
export WINEPREFIX="$work/prefix"
printf 'C:\\ICQ\r\nC:\\Backup\r\n' >"$home/pref.cfg"
: >"$drive_c/ICQ/icq.exe"
# Text that compresses: lines drawn at random from a pool of 48 random lines of 64 bytes.
head -c $((48 * 63 * 3 / 4)) /dev/urandom | base64 -w 63 >"$work/pool"
shuf -r -n $((data_files * data_file_kb * 1024 / 64)) "$work/pool" |
  split -b "${data_file_kb}K" -a 3 - "$drive_c/ICQ/newdb/data"
made=("$drive_c"/ICQ/newdb/data*)
[[ ${#made[@]} -eq $data_files ]] || fail "the data files were not made"
pending_list="$home/icqlist.tmp"  # exists from the backup's start to its end

# A display of our own; Xvfb writes the number it took.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
[[ -s "$work/display" ]] || fail "Xvfb did not start"
DISPLAY=":$(cat "$work/display")"
export DISPLAY

mkdir -m 700 "$work/runtime"
(cd "$home" && HOME="$home" XDG_RUNTIME_DIR="$work/runtime" exec "$torq32") \
  >"$work/torq32.log" 2>&1 &
app_pid=$!
window=$(timeout "$startup_limit" xdotool search --sync --onlyvisible --name '^Varn ICQ Backup$' |
  head -n 1) || true
[[ -n "$window" ]] || fail "the window did not appear"

# Places inside the window, from its form.
gauge="145x14+296+320"
out_screen="233x289+288+24"
buttons="380x25+24+352"                      # Backup .. Check Date
backup_x=61 backup_y=364                      # Backup button
clear_x=470 clear_y=326                       # Clear Screen link

shot() { import -window "$window" "$work/$1.png"; }
crop() { convert "$work/$1.png" -crop "$2" +repage "$work/$1_$3.png"; }
# Mean brightness of the gauge in a screenshot: 1 white (0%), near 0 black (100%).
gauge_mean() { convert "$work/$1.png" -crop "$gauge" -colorspace gray -format '%[fx:mean]' info:; }
same_pictures() { [[ $(compare -metric AE "$1" "$2" null: 2>&1 || true) == "0" ]]; }
running() { kill -0 "$app_pid" 2>/dev/null || fail "torq32 ended"; }
# Any other window of the program is a message box, which would wait for an answer.
no_message_box() {
  local other
  for other in $(xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null || true); do
    [[ "$other" == "$window" ]] && continue
    fail "a message box opened: '$(xdotool getwindowname "$other" 2>/dev/null || true)'"
  done
}
backup_running() { [[ -e "$pending_list" ]]; }

# The start-up screen, once painted: two shots in a row alike.
deadline=$((SECONDS + startup_limit))
shot start
until shot before && same_pictures "$work/start.png" "$work/before.png"; do
  ((SECONDS < deadline)) || fail "the window did not settle after start-up"
  mv "$work/before.png" "$work/start.png"
  sleep 0.2
done
crop before "$out_screen" screen
before=$(gauge_mean before)
less_than 0.8 "$before" || fail "the gauge did not start at 0%"
no_message_box

backup_start=$(now)
xdotool mousemove --window "$window" "$backup_x" "$backup_y" click 1

# The gauge moves on screen while the backup runs.
deadline=$((SECONDS + progress_limit))
while :; do
  running
  no_message_box
  shot during
  during=$(gauge_mean during)
  backup_running || fail "the backup ended before the gauge was seen moving (too little data?)"
  less_than "$during" "$(minus "$before" 0.05)" && break
  ((SECONDS < deadline)) || fail "the gauge did not move on screen during the backup"
  sleep 0.1
done
progress_at=$(elapsed "$backup_start")
crop during "$buttons" buttons

# Unmapped and mapped again, the window has lost its contents: only a window that
# handles its paint events shows the buttons again.
xdotool windowunmap --sync "$window"
xdotool windowmap --sync "$window"
deadline=$((SECONDS + settle_limit))
while :; do
  running
  shot remapped
  crop remapped "$buttons" buttons
  same_pictures "$work/during_buttons.png" "$work/remapped_buttons.png" && break
  backup_running || fail "the window did not repaint while the backup ran"
  ((SECONDS < deadline)) || fail "the window did not repaint during the backup"
  sleep 0.1
done
backup_running || fail "the backup ended before the repaint could be seen (too little data?)"
repainted_at=$(elapsed "$backup_start")

# The click from another process; the backup must still be running once it is sent.
xdotool mousemove --window "$window" "$clear_x" "$clear_y" click 1
backup_running || fail "the backup ended before Clear Screen was clicked (too little data?)"
clicked_at=$(elapsed "$backup_start")

deadline=$((SECONDS + backup_limit))
while backup_running; do
  running
  no_message_box
  ((SECONDS < deadline)) || fail "the backup did not end within $backup_limit s"
  sleep 0.2
done
backup_seconds=$(elapsed "$backup_start")

# Then the waiting click runs: the banner again, the gauge at 0%.
deadline=$((SECONDS + settle_limit))
while :; do
  running
  no_message_box
  shot final
  crop final "$out_screen" screen
  final=$(gauge_mean final)
  less_than 0.8 "$final" && same_pictures "$work/before_screen.png" "$work/final_screen.png" &&
    break
  ((SECONDS < deadline)) ||
    fail "the click on Clear Screen was not handled after the backup (gauge brightness" \
      "$final; screen shows the banner: $(same_pictures "$work/before_screen.png" \
      "$work/final_screen.png" && echo yes || echo no))"
  sleep 0.2
done

# The backup itself is whole.
list="$drive_c/Backup/icqlist.txt"
[[ -f "$list" ]] || fail "the backup wrote no icqlist.txt"
[[ $(head -n 1 "$list") == "Total Files : $data_files"$'\r' ]] ||
  fail "icqlist.txt begins '$(head -n 1 "$list")'"
for number in $(seq "$data_files"); do
  [[ -s "$drive_c/Backup/icq$number.lzz" ]] || fail "icq$number.lzz is missing"
done

echo "gauge brightness: before $before, during $during, at the end $final"
echo "into the backup: gauge moved at ${progress_at}s, repainted at ${repainted_at}s," \
  "Clear Screen clicked at ${clicked_at}s, backup ended at ${backup_seconds}s;" \
  "the test took $(elapsed "$test_start")s"
echo "PASS"
