#!/usr/bin/env bash
# torq32-desktop, the desktop menu's command, with a stand-in torq32 beside it that tells
# where it was started and what pref.cfg holds. The first start, without and with a Wine
# prefix, saves the home folder as the ICQ folder and a visible folder made in it as the
# backup folder, as Windows paths; a later start leaves the saved settings alone.
# Usage: desktop_launcher_test.sh path/to/torq32-desktop
set -euo pipefail

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
mkdir "$work/bin"
cp "$1" "$work/bin/torq32-desktop"
printf '#!/bin/sh\npwd\ntr -d "\\r" <pref.cfg\n' >"$work/bin/torq32"
chmod +x "$work/bin/torq32-desktop" "$work/bin/torq32"
windows() { printf '%s%s' "$1" "$(printf '%s' "$2" | tr / '\\')"; }

# Without a Wine prefix, C: is /.
home="$work/plain"
mkdir "$home"
shown=$(env -u XDG_CONFIG_HOME -u WINEPREFIX HOME="$home" "$work/bin/torq32-desktop")
expected=$(printf '%s\n%s\n%s' "$home/.config/torq32" "$(windows C: "$home")" \
  "$(windows C: "$home/ICQ Backup")")
[[ "$shown" == "$expected" ]] || fail "first start without Wine: got '$shown', expected '$expected'"
[[ -d "$home/ICQ Backup" ]] || fail "the backup folder was not made"

# A later start keeps what the user saved.
printf 'C:\\ICQ\r\nC:\\Elsewhere\r\n' >"$home/.config/torq32/pref.cfg"
shown=$(env -u XDG_CONFIG_HOME -u WINEPREFIX HOME="$home" "$work/bin/torq32-desktop")
[[ "$shown" == "$(printf '%s\nC:\\ICQ\nC:\\Elsewhere' "$home/.config/torq32")" ]] ||
  fail "a later start changed the saved settings: '$shown'"

# With a Wine prefix whose Z: is / and C: its drive_c: the home is on Z:.
home="$work/wine"
mkdir -p "$home/.wine/dosdevices" "$home/.wine/drive_c"
ln -s / "$home/.wine/dosdevices/z:"
ln -s ../drive_c "$home/.wine/dosdevices/c:"
shown=$(env -u XDG_CONFIG_HOME -u WINEPREFIX HOME="$home" "$work/bin/torq32-desktop")
expected=$(printf '%s\n%s\n%s' "$home/.config/torq32" "$(windows Z: "$home")" \
  "$(windows Z: "$home/ICQ Backup")")
[[ "$shown" == "$expected" ]] || fail "first start with Wine: got '$shown', expected '$expected'"
echo "PASS"
