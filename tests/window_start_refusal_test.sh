#!/usr/bin/env bash
# torq32 started in a folder that lies on no drive: it says so in a message box, and
# when the box is closed it ends with status 1, having written nothing anywhere.
# Usage: window_start_refusal_test.sh path/to/torq32     (exit 77: a needed tool is missing)
set -euo pipefail

torq32=$(realpath "$1")
for tool in xvfb-run xdotool; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/prefix/dosdevices" "$work/drive_c" "$work/outside"
ln -s "$work/drive_c" "$work/prefix/dosdevices/c:"

cat >"$work/session.sh" <<'SESSION'
set -u
cd "$OUTSIDE"
"$TORQ32" >"$WORK/torq32.log" 2>&1 &
pid=$!
box=$(timeout 20 xdotool search --sync --onlyvisible --name '^Varn ICQ Backup$' | head -n 1)
[ -n "$box" ] || { echo "no message box appeared"; kill "$pid"; exit 1; }
xdotool windowfocus --sync "$box" key --clearmodifiers Return
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && { echo "still running after the box was closed"; kill "$pid"; exit 1; }
wait "$pid"
echo "status $?"
SESSION
result=$(WORK="$work" OUTSIDE="$work/outside" TORQ32="$torq32" WINEPREFIX="$work/prefix" \
  HOME="$work/outside" xvfb-run -a bash "$work/session.sh")
echo "$result"
[[ "$result" == *"status 1"* ]] || { echo "FAIL: expected exit status 1"; exit 1; }
left=$(find "$work/drive_c" "$work/outside" -type f ! -name torq32.log)
[[ -z "$left" ]] || { echo "FAIL: files were written: $left"; exit 1; }
echo "ok"
