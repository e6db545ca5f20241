#!/usr/bin/env bash
# torq32.exe under Wine on Xvfb, started as a user meets it (scripts/screenshot-windows.sh
# takes the same picture for docs/): the window has its outer size, its caption, the
# banner on the message screen and the gauge at 0%, both as the window's own texts and
# on the screen's picture; its controls stand where the form puts them, in its tab order.
# The keyboard reaches every control: Tab and Shift+Tab go all the way round in the tab
# order, Enter presses the focused button, and Ctrl+L and F1 click Clear Screen and Read Me.
# Then an error that the start-up lets through (pref.cfg held open by another program)
# is shown in a message box, and the window opens without the banner.
# Usage: win32_window_screenshot_test.sh torq32.exe window_probe.exe PREFIX BANNER
#   PREFIX: the Wine prefix the window tests share (made when missing)
#   BANNER: the start-up screen torq32-cli prints (tests/cli/banner.txt)
# Exit 77: wine, Xvfb, xdotool or ImageMagick is missing.
set -euo pipefail

exe=$(realpath "$1")
probe=$(realpath "$2")
prefix=$(realpath -m "$3")
banner=$(realpath "$4")
source "$(dirname "$0")/wine_window_lib.sh"
wine_window_tools_or_skip xdotool import convert compare identify

# The form's sizes, at 96 dots per inch.
outer_size="540x425"
banner_text_lines="2 4 7 8"  # the banner's lines with text on them (from 1)

work=$(mktemp -d)
cleanup() {
  wine_window_stop
  wine_window_demo_clean
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

wine_window_prefix "$prefix"
wine_window_display
wine_window_demo_setup
wine_window_start "$home" "$exe"
window=$(wine_window_wait_painted "$work/window.png") || exit 1

# The size: of the window on the X screen, and of its picture.
eval "$(xdotool getwindowgeometry --shell "$window")"
[[ "${WIDTH}x${HEIGHT}" == "$outer_size" ]] || fail "the window is ${WIDTH}x${HEIGHT}, not $outer_size"
picture_size=$(identify -format '%wx%h' "$work/window.png")
[[ "$picture_size" == "$outer_size" ]] || fail "the picture is $picture_size, not $outer_size"

# The caption, as the window gives it and as the title bar shows it: the bar holds text
# (two colours at least where the caption is written).
caption=$(wine "$probe" caption)
[[ "$caption" == "Varn ICQ Backup" ]] || fail "the caption is '$caption'"
read -r left top _ _ < <(wine "$probe" place)
read -r screen_left screen_top screen_width screen_height < <(wine "$probe" place OutScreen)
title_colours=$(convert "$work/window.png" -crop "120x14+24+4" +repage -unique-colors \
  -format '%w' info:)
((title_colours >= 2)) || fail "the title bar shows no caption"

# The banner, as the message screen's text and on the picture: the text area holds ink
# on the banner's text lines only, evenly spaced.
screen_text=$(wine "$probe" text)
[[ "$screen_text" == "$(cat "$banner")" ]] ||
  fail "the message screen holds:"$'\n'"$screen_text"$'\n'"instead of the banner"
gauge=$(wine "$probe" text ProgressBar)
[[ "$gauge" == "0%" ]] || fail "the gauge shows '$gauge'"

# Inside the box's edge, left of its scroll bar and above the other one.
area="$((screen_width - 24))x$((screen_height - 24))+$((screen_left - left + 3))+$((screen_top - top + 3))"
mapfile -t bands < <(convert "$work/window.png" -crop "$area" +repage -colorspace gray \
  -threshold 60% -scale "1x$((screen_height - 24))!" -depth 8 txt:- |
  awk -F'[:(,)]+' 'NR > 1 && $4 + 0 < 255 { print $2 }' |
  awk 'NR == 1 || $1 != last + 1 { print $1 } { last = $1 }')
read -ra lines <<<"$banner_text_lines"
((${#bands[@]} == ${#lines[@]})) ||
  fail "the message screen shows ${#bands[@]} lines of text, not the banner's ${#lines[@]}"
pitch=$(((bands[1] - bands[0]) / (lines[1] - lines[0])))
((pitch >= 8 && pitch <= 30)) || fail "the banner's lines stand $pitch pixels apart"
for i in "${!lines[@]}"; do
  expected=$((bands[0] + (lines[i] - lines[0]) * pitch))
  ((bands[i] >= expected - 1 && bands[i] <= expected + 1)) ||
    fail "banner line ${lines[i]} stands at row ${bands[i]}, not $expected"
done

# The form at 96 dots per inch: name, left, top, width, height in the client area, place
# in the tab order. Every label keeps its size, even where the stand-in font is wider.
cat >"$work/form.txt" <<'FORM'
ICQFolder 16 56 249 81 0
DriveComboBox1 192 32 73 20 1
OutScreen 288 24 233 289 2
BackupFolder 16 208 249 81 3
DriveComboBox2 192 184 73 20 4
BackupFolderList 16 296 249 22 5
Backup 24 352 75 25 6
Restore 120 352 75 25 7
CheckUIN 232 352 75 25 8
CheckDate 328 352 75 25 9
About 440 352 65 25 10
Label1 16 32 112 14 -
ICQFolderNow 16 144 185 14 -
Label2 208 144 56 13 -
Label3 16 184 162 14 -
ProgressBar 296 320 145 14 -
ClearScreen 452 320 61 13 -
Label4 472 5 42 14 -
FORM
wine "$probe" form >"$work/shown_form.txt"
awk 'NR == FNR { want[$1] = $0; next }
     { split(want[$1], w, " ")
       if (w[1] == "" || $2 != w[2] || $3 != w[3] || $4 != w[4] || $5 != w[5] || $6 != w[6]) {
         print "  " $0 "   (the form: " want[$1] ")"; bad = 1 }
       seen[$1] = 1 }
     END { for (name in want) if (!seen[name]) { print "  " name " is missing"; bad = 1 }
           exit bad }' "$work/form.txt" "$work/shown_form.txt" >"$work/form.diff" ||
  fail "controls stand elsewhere than the form has them:"$'\n'"$(cat "$work/form.diff")"

# The keyboard, from the ICQ folder list where the window starts.
xdotool windowfocus --sync "$window" 2>/dev/null || true
tab_order=$(awk '$6 != "-" { print $6, $1 }' "$work/shown_form.txt" | sort -n | cut -d' ' -f2)
walk() {
  local key=$1 name
  for name in "${@:2}"; do
    xdotool key "$key"
    sleep 0.3
    [[ "$(wine "$probe" focus)" == "$name" ]] || fail "$key came to $(wine "$probe" focus), not $name"
  done
}
[[ "$(wine "$probe" focus)" == ICQFolder ]] || fail "the window starts with the focus on $(wine "$probe" focus)"
mapfile -t order <<<"$tab_order"
walk Tab "${order[@]:1}" "${order[0]}"
mapfile -t backwards < <(printf '%s\n' "${order[@]}" | tac)
walk shift+Tab "${backwards[@]}"
walk shift+Tab "${backwards[0]}"  # About, then Enter presses it
# The screens torq32-cli prints beside the banner.
shows() {
  local key=$1 screen=$2 deadline=$((SECONDS + 20))
  xdotool key "$key"
  until [[ "$(wine "$probe" text)" == "$(cat "$(dirname "$banner")/$screen")" ]]; do
    ((SECONDS < deadline)) || fail "$key did not show $screen: $(wine "$probe" text | head -n 3)"
    sleep 0.3
  done
}
shows Return about.txt
shows ctrl+l banner.txt
shows F1 readme.txt

wine_window_close "$probe"

# pref.cfg held by another program: its code 32 in a box captioned as the window.
wine "$probe" hold 'C:\Varn\pref.cfg' 60 >"$work/hold.txt" &
holder=$!
for _ in $(seq 100); do [[ -s "$work/hold.txt" ]] && break; sleep 0.1; done
[[ "$(cat "$work/hold.txt")" == "held" ]] || fail "pref.cfg could not be held open"
wine_window_start "$home" "$exe"
deadline=$((SECONDS + 30))
until wine "$probe" box >"$work/box.txt"; do
  ((SECONDS < deadline)) || fail "no message box told of the unreadable pref.cfg"
  sleep 0.3
done
[[ "$(cat "$work/box.txt")" == $'Varn ICQ Backup\nI/O error 32' ]] ||
  fail "the message box says: $(cat "$work/box.txt")"
box=$(xdotool search --onlyvisible --name '^Varn ICQ Backup$' | head -n 1)
xdotool windowfocus --sync "$box" 2>/dev/null || true
xdotool key Return
wine "$probe" wait 30 || fail "the window did not open after the box"
screen_text=$(wine "$probe" text)
[[ -z "$screen_text" ]] || fail "the window opened with a screen after the error: $screen_text"
kill "$holder" 2>/dev/null || true
wait "$holder" 2>/dev/null || true

echo "window $outer_size, caption '$caption', banner lines every $pitch pixels;" \
  "a start-up error shown in a box"
echo "PASS"
