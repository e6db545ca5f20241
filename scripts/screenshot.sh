#!/usr/bin/env bash
# Takes a picture of the window: starts torq32 under Xvfb in a fresh temporary home
# folder, waits for its window and saves it as a PNG.
#   scripts/screenshot.sh [picture.png]     (default docs/screenshot.png)
# TORQ32=path/to/torq32 uses that program; otherwise it is built in build-run/.
# The temporary home holds a small Wine-style drive C: with an ICQ folder and saved
# settings, so the picture shows the window as a user meets it.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
output=$(realpath -m "${1:-$root/docs/screenshot.png}")

torq32=${TORQ32:-}
if [[ -z "$torq32" ]]; then
  cmake -S "$root" -B "$root/build-run" -DVARN_BUILD_TESTS=OFF -DVARN_BUILD_BENCH=OFF >/dev/null
  cmake --build "$root/build-run" --target torq32 -j"$(nproc)" >/dev/null
  torq32="$root/build-run/ui/qt/torq32"
fi
torq32=$(realpath "$torq32")
for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/install-deps.sh" >&2; exit 1; }
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

# Drive C: of a Wine prefix in the temporary home.
prefix="$work/home/.wine"
drive_c="$prefix/drive_c"
mkdir -p "$prefix/dosdevices" "$drive_c/Program Files/ICQ/NewDB" "$drive_c/Program Files/ICQ/Plugins" \
  "$drive_c/Backup" "$drive_c/Varn"
ln -s ../drive_c "$prefix/dosdevices/c:"
: >"$drive_c/Program Files/ICQ/icq.exe"
printf 'C:\\Program Files\\ICQ\r\nC:\\Backup\r\n' >"$drive_c/Varn/pref.cfg"
mkdir -m 700 "$work/runtime"

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

(cd "$drive_c/Varn" && HOME="$work/home" WINEPREFIX="$prefix" XDG_RUNTIME_DIR="$work/runtime" \
  exec "$torq32") >/dev/null 2>&1 &
app_pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Varn ICQ Backup$' | head -n 1)
sleep 1  # let it finish painting
mkdir -p "$(dirname "$output")"
import -window "$window" "$output"
echo "$output"
