#!/usr/bin/env bash
# torq32 under a real X server (Xvfb) during a real long action: a backup of about
# 100 MB of generated ICQ data files. While it runs:
#   - the gauge moves on screen, and the window repaints after it is unmapped and mapped
#     again (the window is not frozen);
#   - a click on Clear Screen made from another process waits: when the backup has ended
#     and is complete, the screen shows the banner with the gauge at 0% (Clear Screen's
#     result) instead of the backup's success report at 100%.
# Then a backup of one large data file, and a restore of one: while each runs, the
# message screen shows the notes and the line of the file in progress, and the gauge
# moves through the file. Last, a backup of a larger file among small ones, which a worker
# thread compresses: the gauge moves through it too, and the log tells the longest it
# stood still.
# Usage: window_xvfb_test.sh path/to/torq32 path/to/lzz   (exit 77: a tool is missing)
set -euo pipefail

torq32=$(realpath "$1")
lzz=$(realpath "$2")
for tool in Xvfb xdotool import convert compare base64 shuf split cksum; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

# Enough data that the backup takes seconds on a fast machine with four workers too.
data_files=384
data_file_kb=256
# One data file that takes seconds to compress; one that takes seconds to decode (made
# with lzz's adaptive Huffman coder, which is quicker to make, while the backups run).
big_file_mb=64
restored_file_mb=256
among_small_mb=200
# Time limits, generous for a loaded machine.
startup_limit=20
progress_limit=30
backup_limit=90
settle_limit=15
one_file_limit=120

work=$(mktemp -d)
xvfb_pid=""
app_pid=""
lzz_pid=""
cleanup() {
  [[ -n "$app_pid" ]] && kill "$app_pid" 2>/dev/null || true
  [[ -n "$lzz_pid" ]] && kill "$lzz_pid" 2>/dev/null || true
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

# lzz reaches files through the drives too: C:\made holds the file to restore.
made="$drive_c/made"
mkdir "$made"
shuf -r -n $((restored_file_mb * 1024 * 1024 / 64)) "$work/pool" >"$made/restored.dat"
restored_sum=$(cksum <"$made/restored.dat")
restored_size=$(stat -c %s "$made/restored.dat")
"$lzz" compress --method lzh "$made/restored.dat" "$made/restored.lzz" >"$work/lzz.log" 2>&1 &
lzz_pid=$!

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
  "Clear Screen clicked at ${clicked_at}s, backup ended at ${backup_seconds}s"

# --- One large file ----------------------------------------------------------------------

# The message screen's text, inside its frame and scroll bars.
text_area="212x268+291+27"
text_height=268
restore_x=157 restore_y=364                   # Restore button
# The rows of the text that hold ink in a screenshot, one a line.
ink_rows() {
  convert "$work/$1.png" -crop "$text_area" +repage -colorspace gray -threshold 60% \
    -scale "1x$text_height!" -depth 8 txt:- |
    awk -F'[:(,)]+' 'NR > 1 && $4 + 0 < 255 { print $2 }'
}
# The first row of each run of rows with ink.
band_tops() { ink_rows "$1" | awk 'NR == 1 || $1 != last + 1 { print $1 } { last = $1 }'; }
# Where the lines stand, from the banner: its lines 1 and 3 stand alone.
mapfile -t tops < <(band_tops before)
((${#tops[@]} >= 2)) || fail "the banner's lines were not found on screen"
line1_top=${tops[0]} line3_top=${tops[1]}
line_pitch=$(((line3_top - line1_top) / 2))
((line_pitch >= 8 && line_pitch <= 30)) || fail "the banner's lines were not found on screen"
# True when line `index` (from 0) of the message screen holds text in a screenshot.
line_has_text() {
  local top=$((line1_top - 3 + ($2 - 1) * line_pitch))
  ink_rows "$1" | awk -v a="$top" -v b="$((top + line_pitch - 1))" \
    '$1 >= a && $1 <= b { found = 1 } END { exit !found }'
}
line_has_text before 1 && ! line_has_text before 2 || fail "the line rule does not fit the banner"

# Screenshots while `running` holds, then what they showed: a frame with text on each of
# the lines given and none on the line below the last, and the gauge at two places on
# its way, neither where it started nor where it ended.
watch_one_file() {
  local name=$1 running=$2 frames=0 deadline=$((SECONDS + one_file_limit))
  shift 2
  local lines=("$@") below=$(($# > 0 ? ${!#} + 1 : 0))
  while "$running"; do
    running
    ((SECONDS < deadline)) || fail "the $name did not end within $one_file_limit s"
    frames=$((frames + 1))
    shot "$name$frames"
  done
  ((frames >= 3)) || fail "the $name ended after $frames screenshots (too little data?)"
  # The end, once painted: two screenshots in a row alike.
  deadline=$((SECONDS + settle_limit))
  shot "${name}_end"
  until shot "${name}_settled" && same_pictures "$work/${name}_end.png" "$work/${name}_settled.png"; do
    ((SECONDS < deadline)) || fail "the window did not settle after the $name"
    mv "$work/${name}_settled.png" "$work/${name}_end.png"
    sleep 0.2
  done
  local end_gauge
  end_gauge=$(gauge_mean "${name}_end")
  local shown=0 moved=0 last_mean="" frame line mean
  for frame in $(seq "$frames"); do
    mean=$(gauge_mean "$name$frame")
    if less_than "$mean" "$(minus "$before" 0.02)" &&
      less_than "$(minus "$end_gauge" -0.02)" "$mean"; then
      if [[ -z "$last_mean" ]] || less_than 0.005 "$(minus "$last_mean" "$mean")"; then
        moved=$((moved + 1))
        last_mean=$mean
      fi
    fi
    ((shown > 0)) && continue
    for line in "${lines[@]}"; do line_has_text "$name$frame" "$line" || continue 2; done
    line_has_text "$name$frame" "$below" && continue
    shown=$frame
  done
  ((shown > 0)) || fail "no screenshot of the $name showed its notes and the file's line"
  ((moved >= 2)) || fail "the gauge did not move on screen during the $name" \
    "($moved places between 0% and its end)"
  echo "the $name: $frames screenshots, the file's line on screenshot $shown," \
    "the gauge at $moved places on its way"
}

rm -f "$drive_c"/ICQ/newdb/data* "$drive_c"/Backup/*
shuf -r -n $((big_file_mb * 1024 * 1024 / 64)) "$work/pool" >"$drive_c/ICQ/newdb/big.dat"
xdotool mousemove --window "$window" "$backup_x" "$backup_y" click 1
# " Backup ICQ...", " This may take...", " Note:", " Processing File:", the file.
watch_one_file backup backup_running 1 3 6 14 15
no_message_box
[[ $(head -n 1 "$list") == "Total Files : 1"$'\r' && -s "$drive_c/Backup/icq1.lzz" ]] ||
  fail "the backup of one file is not whole"

wait "$lzz_pid" || fail "lzz could not compress the file to restore: $(cat "$work/lzz.log")"
lzz_pid=""
rm -f "$drive_c"/Backup/* "$made/restored.dat"
mv "$made/restored.lzz" "$drive_c/Backup/icq1.lzz"
printf 'Total Files : 1\r\nnewdb***restored.dat|||%s\r\n' "$restored_size" >"$list"
temporary="$drive_c/ICQ/newdb/icq.tmp"  # exists while the file is decoded
restore_running() { [[ -e "$temporary" ]]; }
xdotool mousemove --window "$window" "$restore_x" "$restore_y" click 1
warning=$(timeout "$settle_limit" xdotool search --sync --onlyvisible --name '^Warning$' |
  head -n 1) || true
[[ -n "$warning" ]] || fail "the restore asked no warning"
xdotool windowfocus --sync "$warning"
xdotool key Return
deadline=$((SECONDS + settle_limit))
until restore_running; do
  running
  [[ -s "$drive_c/ICQ/newdb/restored.dat" ]] && fail "the restore ended before it was seen"
  ((SECONDS < deadline)) || fail "the restore did not start"
  sleep 0.05
done
# " Restoring ICQ Data Files...", " This may take...", " Note:", " Processing File:", the file.
watch_one_file restore restore_running 1 3 6 13 14
no_message_box
[[ $(cksum <"$drive_c/ICQ/newdb/restored.dat") == "$restored_sum" ]] ||
  fail "the restored file differs from the one backed up"

# --- A large file among small ones -------------------------------------------------------

# "BIG.DAT" comes first in the list, so its turn begins at 0% and the small files' after
# it: the gauge's changes until it reaches its end are the worker's reports.
rm -f "$drive_c"/ICQ/newdb/* "$drive_c"/Backup/*
shuf -r -n $((among_small_mb * 1024 * 1024 / 64)) "$work/pool" >"$drive_c/ICQ/newdb/big.dat"
for small in 1 2 3; do head -c 65536 "$work/pool" >"$drive_c/ICQ/newdb/small$small.dat"; done
gauge_sum() { convert "$work/$1.png" -crop "$gauge" +repage -depth 8 rgb:- | cksum; }
xdotool mousemove --window "$window" "$backup_x" "$backup_y" click 1
deadline=$((SECONDS + settle_limit))
until backup_running; do
  ((SECONDS < deadline)) || fail "the backup among small files did not start"
  sleep 0.05
done
frames=0 changes=0 last_sum=$(gauge_sum before) last_change="" longest=0
deadline=$((SECONDS + one_file_limit))
while backup_running; do
  running
  ((SECONDS < deadline)) || fail "the backup among small files did not end"
  at=$(now)
  shot among
  sum=$(gauge_sum among)
  frames=$((frames + 1))
  if [[ $sum != "$last_sum" ]]; then
    if [[ -n "$last_change" ]]; then
      still=$(minus "$at" "$last_change")
      less_than "$longest" "$still" && longest=$still
    fi
    changes=$((changes + 1))
    last_sum=$sum
    last_change=$at
  fi
done
((changes >= 10)) || fail "the gauge changed $changes times in $frames screenshots during" \
  "the backup of $among_small_mb MB among small files"
echo "a large file among small ones: $frames screenshots, the gauge changed $changes times," \
  "longest still between changes ${longest}s"

echo "the test took $(elapsed "$test_start")s"
echo "PASS"
