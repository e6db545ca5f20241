#!/usr/bin/env bash
# Installs what is missing, builds, and starts the window program torq32 in the
# current folder (its home folder: pref.cfg and back.dat live there).
set -euo pipefail
# Checked first: without a display the window cannot start, and Qt would abort.
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display: run it as  xvfb-run -a $0" >&2
  exit 1
fi
here=$(pwd)
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build-run" -DVARN_BUILD_TESTS=OFF -DVARN_BUILD_BENCH=OFF >/dev/null
cmake --build "$root/build-run" -j"$(nproc)" --target torq32
cd "$here"
exec "$root/build-run/ui/qt/torq32"
