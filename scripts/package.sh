#!/usr/bin/env bash
# Builds the Debian package torq32_<version>_<arch>.deb in build-package/.
#   scripts/package.sh           build the package
#   scripts/package.sh --check   also run lintian and appstreamcli validate-tree on it
#                                (an error or a warning fails),
#                                install it with apt-get (as root, or through sudo),
#                                check the installed programs and the desktop entry under
#                                xvfb-run, and remove it again with dpkg -r; a failed
#                                check removes it too
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-package"

"$root/scripts/install-deps.sh" --package
# Debian's hardening flags (fortified functions, stack protector, full RELRO, bind now);
# a warning fails the build, as in the developers' builds.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVARN_BUILD_TESTS=OFF \
  -DVARN_BUILD_BENCH=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON -DVARN_WERROR=ON \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" -j"$(nproc)" --target torq32 torq32-cli lzz package_docs
rm -f "$build"/torq32_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
package=$(ls "$build"/torq32_*.deb)
echo "$package"
dpkg-deb --field "$package" Depends
[[ "${1:-}" == "--check" ]] || exit 0

# Errors and warnings fail the check; what remains at info level is listed.
lintian --info --display-info --fail-on error,warning "$package"
# The AppStream metadata against the tree the package installs (without the network, which
# the screenshots' addresses would need).
tree=$(mktemp -d)
dpkg-deb -x "$package" "$tree"
appstreamcli validate-tree --no-net "$tree/usr" || { rm -rf "$tree"; echo "FAIL: appstreamcli" >&2; exit 1; }
rm -rf "$tree"

sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
work=$(mktemp -d)
installed=0
# Whatever ends the check, the package does not stay installed.
clean_up() {
  if [[ $installed -eq 1 ]]; then "${sudo_cmd[@]}" dpkg -r torq32 >/dev/null || true; fi
  rm -rf "$work"
}
trap clean_up EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

installed=1
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 \
  install -y -qq "$package" >/dev/null
for file in /usr/bin/torq32 /usr/bin/torq32-cli /usr/bin/lzz /usr/bin/torq32-desktop \
  /usr/share/applications/torq32.desktop /usr/share/icons/hicolor/scalable/apps/torq32.svg \
  /usr/share/icons/hicolor/16x16/apps/torq32.png /usr/share/icons/hicolor/256x256/apps/torq32.png \
  /usr/share/metainfo/org.example.torq32.metainfo.xml /usr/share/doc/torq32/copyright \
  /usr/share/man/man1/torq32.1.gz /usr/share/man/man1/lzz.1.gz; do
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
[[ -d "$work/home/ICQ Backup" ]] || fail "the first start made no ~/ICQ Backup"

"${sudo_cmd[@]}" dpkg -r torq32 >/dev/null
installed=0
for file in /usr/bin/torq32 /usr/share/applications/torq32.desktop; do
  [[ ! -e "$file" ]] || fail "$file is left after dpkg -r"
done
echo "installed, checked and removed: $(basename "$package")"
