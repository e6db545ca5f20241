#!/usr/bin/env bash
# How long the Windows window (torq32.exe under Wine on Xvfb) takes to end a backup of a
# 200 MB data file once Yes is pressed on the stop question: once after a click on the
# close box, once after Escape. Runs with openbox as the window manager, as a desktop
# has one; with --no-wm, without one, where Wine waits about two seconds for a window
# manager to take the question's box down before the window goes on.
# Usage: bench/window_stop_wine.sh TORQ32_EXE WINDOW_PROBE_EXE [--no-wm]
#   (both from a Windows build: app/win32/torq32.exe and tests/window_probe.exe; for the
#   64-bit build put its wine64-bin folder first on PATH, as the README says)
set -euo pipefail

exe=$(realpath "$1")
probe=$(realpath "$2")
window_manager=openbox
[[ "${3:-}" == --no-wm ]] && window_manager=none
source "$(dirname "$0")/../tests/wine_window_lib.sh"
wine_window_tools_or_skip xdotool xprop openbox shuf base64

work=$(mktemp -d)
cleanup() {
  wine_window_stop
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

wine_window_prefix "$work/prefix"
folder="$work/prefix/drive_c/varn-stop"
home="$folder/home" icq="$folder/ICQ"
mkdir -p "$home" "$folder/Backup" "$icq/NewDB"
: >"$icq/icq.exe"
printf 'C:\\varn-stop\\ICQ\r\nC:\\varn-stop\\Backup\r\n' >"$home/pref.cfg"
head -c $((48 * 63 * 3 / 4)) /dev/urandom | base64 -w 63 >"$work/pool"
shuf -r -n $((200 * 1024 * 1024 / 64)) "$work/pool" >"$icq/NewDB/long.dat"

wine_window_display
if [[ $window_manager == openbox ]]; then
  HOME="$work" openbox --sm-disable >"$work/openbox.log" 2>&1 &
  for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
  done
  xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' || fail "openbox did not start"
fi

start_window() {
  wine_window_start "$home" "$exe"
  window=$(wine_window_wait_painted "$work/start.png") || exit 1
}
question() {
  local box
  box=$(wine_window_box Confirm)
  [[ -n "$box" ]] || fail "no question came"
  echo "$box"
}
backup_running() { [[ -e "$home/icqlist.tmp" ]]; }
# The first backup runs to its end; the others ask before overwriting it.
start_backup() {
  wine_window_click "$probe" Backup
  if [[ -s "$folder/Backup/icqlist.txt" ]]; then
    xdotool windowfocus --sync "$(question)" 2>/dev/null || true
    xdotool key Return
  fi
  local deadline=$((SECONDS + 30))
  until backup_running && [[ "$(wine "$probe" text ProgressBar)" != "0%" ]]; do
    ((SECONDS < deadline)) || fail "the backup did not start"
    sleep 0.2
  done
}
stop_after() {
  question >/dev/null
  wine "$probe" answer yes
  local started
  started=$(date +%s%N)
  while backup_running; do sleep 0.02; done
  printf '%-28s stopped %5d ms after Yes (window manager: %s)\n' "$1" \
    $((($(date +%s%N) - started) / 1000000)) "$window_manager"
}

start_window
start_backup
while backup_running; do sleep 0.5; done

start_backup
read -r left top width _ < <(wine "$probe" place)
xdotool mousemove --sync $((left + width - 14)) $((top + 12)) click 1
stop_after "a click on the close box"
# Yes on the close box's question closes the window as well.
for _ in $(seq 100); do kill -0 "$wine_window_app_pid" 2>/dev/null || break; sleep 0.1; done

start_window
start_backup
xdotool windowfocus --sync "$window" 2>/dev/null || true
xdotool key Escape
stop_after "Escape"
