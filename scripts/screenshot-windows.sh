#!/usr/bin/env bash
# Takes a picture of the Windows window: starts torq32.exe under Wine on Xvfb with a
# small drive C: (an ICQ folder and saved settings), waits until it has painted and saves
# it as a PNG, frame and caption included (Wine draws them; no window manager runs).
#   scripts/screenshot-windows.sh [picture.png]   (default docs/screenshot-windows.png)
# TORQ32_EXE=path/to/torq32.exe uses that program; otherwise it is built in build-win32/.
# VARN_WINE_PREFIX=folder: the Wine prefix to use, made there when missing (default
# build-win32/wine-window; the first start of Wine in it takes most of a minute).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
output=$(realpath -m "${1:-$root/docs/screenshot-windows.png}")
# shellcheck source=../tests/wine_window_lib.sh
source "$root/tests/wine_window_lib.sh"
for tool in wine Xvfb xdotool import compare; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/install-deps.sh" >&2; exit 1; }
done

exe=${TORQ32_EXE:-}
if [[ -z "$exe" ]]; then
  cmake -S "$root" -B "$root/build-win32" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/i686-w64-mingw32.cmake" \
    -DVARN_BUILD_GUI=OFF -DVARN_BUILD_TESTS=OFF -DVARN_BUILD_BENCH=OFF -DVARN_LZSS_PORTABLE=ON \
    >/dev/null
  cmake --build "$root/build-win32" --target torq32 -j"$(nproc)" >/dev/null
  exe="$root/build-win32/ui/win32/torq32.exe"
fi
exe=$(realpath "$exe")

work=$(mktemp -d)
cleanup() {
  wine_window_stop
  wine_window_demo_clean
  rm -rf "$work"
}
trap cleanup EXIT

wine_window_prefix "$(realpath -m "${VARN_WINE_PREFIX:-$root/build-win32/wine-window}")"
wine_window_display
wine_window_demo_setup
wine_window_start "$home" "$exe"
wine_window_wait_painted "$work/window.png" >/dev/null
mkdir -p "$(dirname "$output")"
cp "$work/window.png" "$output"
echo "$output"
