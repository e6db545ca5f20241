#!/usr/bin/env bash
# Builds the Debian package torq32_<version>_<arch>.deb in build-package/.
#   scripts/package.sh           build the package
#   scripts/package.sh --check   also install it with apt-get (as root, or through sudo),
#                                check the installed programs and the desktop entry under
#                                xvfb-run, and remove it again with dpkg -r
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-package"

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVARN_BUILD_TESTS=OFF \
  -DVARN_BUILD_BENCH=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target torq32 torq32-cli lzz
(cd "$build" && cpack -G DEB >/dev/null)
package=$(ls "$build"/torq32_*.deb)
echo "$package"
dpkg-deb --field "$package" Depends
[[ "${1:-}" == "--check" ]] || exit 0

sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "$package" >/dev/null
for file in /usr/bin/torq32 /usr/bin/torq32-cli /usr/bin/lzz /usr/bin/torq32-desktop \
  /usr/share/applications/torq32.desktop /usr/share/icons/hicolor/scalable/apps/torq32.svg; do
  [[ -e "$file" ]] || fail "$file is not installed"
done
(cd "$work" && torq32-cli about | grep -q "Thanks for using Varn ICQ Backup!") ||
  fail "the installed torq32-cli about"

# The desktop entry's command, in a home of its own, under a virtual X server.
command=$(sed -n 's/^Exec=//p' /usr/share/applications/torq32.desktop)
mkdir "$work/home"
cat >"$work/desktop.sh" <<EOF
#!/bin/sh
$command &
pid=\$!
window=\$(timeout 20 xdotool search --sync --name '^Varn ICQ Backup\$')
kill \$pid
[ -n "\$window" ]
EOF
chmod +x "$work/desktop.sh"
env -u XDG_CONFIG_HOME HOME="$work/home" xvfb-run -a "$work/desktop.sh" 2>/dev/null ||
  fail "the desktop entry opened no window"
[[ -f "$work/home/.config/torq32/back.dat" ]] || fail "no back.dat in ~/.config/torq32"

"${sudo_cmd[@]}" dpkg -r torq32 >/dev/null
for file in /usr/bin/torq32 /usr/share/applications/torq32.desktop; do
  [[ ! -e "$file" ]] || fail "$file is left after dpkg -r"
done
echo "installed, checked and removed: $(basename "$package")"
