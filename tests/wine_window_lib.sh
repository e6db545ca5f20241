# Shared by the scripts that run the Windows window (torq32.exe) under Wine on Xvfb:
# sourced, not run. The caller sets `work` (a scratch folder it removes) before calling.
#   wine_window_tools_or_skip TOOL...   exit 77 when wine or a tool is missing
#   wine_window_prefix DIR              a Wine prefix in DIR, made once (kept for reuse)
#   wine_window_display                 a display of our own (DISPLAY exported)
#   wine_window_start HOME EXE          torq32.exe started in its home folder
#   wine_window_close PROBE             closes the window as its close box does; waits
#   wine_window_stop                    ends what wine_window_start and _display began
#   wine_window_demo_setup / _clean     a drive C: as a user meets the program
#   wine_window_wait_painted PNG        the window once painted, its picture in PNG
#   wine_window_click PROBE CONTROL     a click in the middle of the form's control
#   wine_window_box CAPTION             the X id of the message box with that caption,
#                                       once shown (empty after 20 s without one)

wine_window_tools_or_skip() {
  local tool
  for tool in wine wineboot wineserver Xvfb "$@"; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
  done
}

# The first start of Wine in a prefix takes most of a minute, so the prefix is kept; a
# lock keeps two tests from making it at once. The window draws its own frame and
# caption (no window manager runs on the test display), so the window and its picture
# have the outer size.
wine_window_prefix() {
  local prefix=$1
  mkdir -p "$(dirname "$prefix")"
  export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  (
    flock 9
    if [[ ! -f "$prefix/.varn-window-ready" ]]; then
      DISPLAY= wineboot -i >/dev/null 2>&1 || true
      wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f \
        >/dev/null 2>&1
      # Wine's own TrueType fonts (the caption buttons' Marlett, Tahoma, MS Sans Serif),
      # which Debian's Wine does not find in its data folder.
      local font
      for font in /usr/share/wine/fonts/*.ttf; do
        [[ -f "$font" ]] && cp -n "$font" "$prefix/drive_c/windows/Fonts/"
      done
      wineserver -w
      [[ -d "$prefix/drive_c" ]] && touch "$prefix/.varn-window-ready"
    fi
  ) 9>"$prefix.lock"
  [[ -f "$prefix/.varn-window-ready" ]] || { echo "FAIL: the Wine prefix could not be made" >&2; exit 1; }
}

wine_window_xvfb_pid=""
wine_window_app_pid=""

wine_window_display() {
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  wine_window_xvfb_pid=$!
  local _
  for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
  [[ -s "$work/display" ]] || { echo "FAIL: Xvfb did not start"; exit 1; }
  DISPLAY=":$(cat "$work/display")"
  export DISPLAY
}

# Starts the program with its home folder as the current folder, as a user does.
wine_window_start() {
  local home=$1 exe=$2
  (cd "$home" && exec wine "$exe") >"$work/torq32.log" 2>&1 &
  wine_window_app_pid=$!
}

wine_window_close() {
  local probe=$1 _
  wine "$probe" close || true
  for _ in $(seq 100); do
    kill -0 "$wine_window_app_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$wine_window_app_pid" 2>/dev/null; then
    echo "FAIL: the window did not close" >&2
    exit 1
  fi
  wait "$wine_window_app_pid" 2>/dev/null || true
  wine_window_app_pid=""
}

wine_window_stop() {
  [[ -n "$wine_window_app_pid" ]] && kill "$wine_window_app_pid" 2>/dev/null || true
  # The prefix's wine server ends the program's Wine processes with it.
  [[ -n "${WINEPREFIX:-}" ]] && wineserver -k 2>/dev/null || true
  [[ -n "$wine_window_xvfb_pid" ]] && kill "$wine_window_xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  wine_window_app_pid="" wine_window_xvfb_pid=""
}

# A drive C: as a user meets the program: the ICQ folder "C:\Program Files\ICQ" with two
# data folders, an empty "C:\Backup", and the home folder "C:\Varn" whose pref.cfg names
# both. Sets `home` to the home folder. wine_window_demo_clean removes what it made, and
# only that: a folder that was there before is left alone.
wine_window_demo_made=()
wine_window_demo_setup() {
  local drive_c=$WINEPREFIX/drive_c folder
  for folder in "$drive_c/Program Files/ICQ" "$drive_c/Backup" "$drive_c/Varn"; do
    [[ -e "$folder" ]] && { echo "FAIL: $folder is there already" >&2; exit 1; }
    mkdir -p "$folder"
    wine_window_demo_made+=("$folder")
  done
  mkdir "$drive_c/Program Files/ICQ/NewDB" "$drive_c/Program Files/ICQ/Plugins"
  : >"$drive_c/Program Files/ICQ/icq.exe"
  printf 'C:\\Program Files\\ICQ\r\nC:\\Backup\r\n' >"$drive_c/Varn/pref.cfg"
  home=$drive_c/Varn
}

wine_window_demo_clean() {
  local folder
  for folder in "${wine_window_demo_made[@]}"; do rm -rf "$folder"; done
  wine_window_demo_made=()
}

# Waits for the window, then until its picture is steady: two in a row alike. Prints
# the window's X id; the picture is left in PNG.
wine_window_wait_painted() {
  local picture=$1 window deadline
  window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Varn ICQ Backup$' |
    head -n 1) || true
  if [[ -z "$window" ]]; then
    echo "FAIL: the window did not appear" >&2
    sed 's/^/torq32: /' "$work/torq32.log" >&2
    return 1
  fi
  deadline=$((SECONDS + 20))
  import -window "$window" "$picture"
  while :; do
    sleep 0.5
    import -window "$window" "$work/again.png"
    [[ $(compare -metric AE "$picture" "$work/again.png" null: 2>&1 || true) == "0" ]] && break
    ((SECONDS < deadline)) || { echo "FAIL: the window did not settle" >&2; return 1; }
    mv "$work/again.png" "$picture"
  done
  echo "$window"
}

wine_window_click() {
  local probe=$1 control=$2 left top width height
  read -r left top width height < <(wine "$probe" place "$control")
  xdotool mousemove --sync $((left + width / 2)) $((top + height / 2)) click 1
}

wine_window_box() {
  timeout 20 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1 || true
}
