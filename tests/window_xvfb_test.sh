#!/usr/bin/env bash
# torq32 under a real X server (Xvfb) during a long action. About is slowed down by the
# program's test hook, which steps the gauge 0..100 first. While it runs:
#   - the gauge moves on screen, and the window repaints after it is unmapped and mapped
#     again (the window is not frozen);
#   - a click on Clear Screen made from another process is handled only after About has
#     ended: the gauge keeps moving after the click, and at the end shows 0%, not 100%.
# Usage: window_xvfb_test.sh path/to/torq32     (exit 77: a needed tool is missing)
set -euo pipefail

torq32=$(realpath "$1")
for tool in Xvfb xdotool import convert compare; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

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
fail() { echo "FAIL: $*" >&2; exit 1; }

# A display of our own; Xvfb writes the number it took.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
[[ -s "$work/display" ]] || fail "Xvfb did not start"
export DISPLAY=":$(cat "$work/display")"

mkdir "$work/home"
mkdir -m 700 "$work/runtime"
(cd "$work/home" && HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" \
  TORQ32_TEST_SLOW_ABOUT_MS=100 exec "$torq32") >"$work/torq32.log" 2>&1 &
app_pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Varn ICQ Backup$' | head -n 1)
[[ -n "$window" ]] || fail "the window did not appear"
sleep 0.5

# Places inside the window, from its form.
gauge="145x14+296+320"
buttons="380x25+24+352"                      # Backup .. Check Date
about_x=472 about_y=364                       # About button
clear_x=470 clear_y=326                       # Clear Screen link

shot() { import -window "$window" "$work/$1.png"; }
# Mean brightness of the gauge in a screenshot: 1 white (0%), near 0 black (100%).
gauge_mean() { convert "$work/$1.png" -crop "$gauge" -colorspace gray -format '%[fx:mean]' info:; }
less_than() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }
minus() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.4f", a - b }'; }

shot before
before=$(gauge_mean before)
convert "$work/before.png" -crop "$buttons" +repage "$work/buttons_before.png"

xdotool mousemove --window "$window" "$about_x" "$about_y" click 1
sleep 1
shot during1
during1=$(gauge_mean during1)

# Unmapped and mapped again, the window has lost its contents: only a window that
# handles its paint events shows the buttons again.
xdotool windowunmap --sync "$window"
xdotool windowmap --sync "$window"
sleep 0.5
shot remapped
convert "$work/remapped.png" -crop "$buttons" +repage "$work/buttons_remapped.png"
differing=$(compare -metric AE "$work/buttons_before.png" "$work/buttons_remapped.png" \
  null: 2>&1 || true)

xdotool mousemove --window "$window" "$clear_x" "$clear_y" click 1
sleep 0.7
shot during2
during2=$(gauge_mean during2)

# About ends after about ten seconds; then the waiting click runs.
final=$during2
for _ in $(seq 60); do
  sleep 0.25
  shot final
  final=$(gauge_mean final)
  less_than 0.8 "$final" && break
done

echo "gauge brightness: before $before, during $during1 and $during2, at the end $final"
echo "button pixels changed by unmapping and mapping during the action: $differing"
less_than 0.8 "$before" || fail "the gauge did not start at 0%"
less_than "$during1" "$(minus "$before" 0.05)" ||
  fail "the gauge did not move on screen during the action"
[[ "$differing" == "0" ]] || fail "the window did not repaint during the action"
less_than "$during2" "$(minus "$during1" 0.05)" ||
  fail "the gauge stopped moving: the click was handled during the action"
less_than 0.8 "$final" ||
  fail "the click on Clear Screen was not handled after the action (gauge not back to 0%)"
kill -0 "$app_pid" 2>/dev/null || fail "torq32 ended"
echo "PASS"
