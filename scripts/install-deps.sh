#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
set -euo pipefail

packages=(cmake g++ make qt6-base-dev libgtest-dev zlib1g-dev fonts-liberation locales
          xvfb xauth xdotool imagemagick x11-utils openbox dpkg-dev help2man man-db
          librsvg2-bin)
# help2man makes the terminal tools' manual pages and rsvg-convert the icon's bitmaps in
# every build; openbox is the window manager of the window tests that close the window as
# a user does.
# Flags, any number of them: --fuzz: the fuzzers' compiler and runtime, and perf to profile
# them; --package: what scripts/package.sh needs beyond the build (the package check);
# --windows: what scripts/build-windows.sh needs (the mingw-w64 cross compilers, zlib for
# them, zip); --wine: what the Windows suites run on with the 64-bit build
# (Wine for 64-bit programs); --wine32: what the 32-bit build adds to it (wine32, which
# needs the i386 architecture; of no use on a machine that runs no 32-bit programs).
foreign_architecture=
for flag in "$@"; do
  case "$flag" in
    --fuzz) packages+=(clang libclang-rt-14-dev linux-perf) ;;
    --package) packages+=(lintian appstream) ;;
    --windows) packages+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev zip) ;;
    --wine) packages+=(wine wine64) ;;
    --wine32)
      packages+=(wine32)
      foreign_architecture=i386
      ;;
    *)
      echo "install-deps: unknown flag $flag" >&2
      exit 2
      ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
echo "Installing: ${missing[*]}"
if [[ -n "$foreign_architecture" ]] &&
   ! dpkg --print-foreign-architectures | grep -qx "$foreign_architecture"; then
  "${sudo_cmd[@]}" dpkg --add-architecture "$foreign_architecture"
fi
# Waits for another apt-get or dpkg to let go of the lock instead of failing at once.
apt_wait=(-o DPkg::Lock::Timeout=600)
"${sudo_cmd[@]}" apt-get "${apt_wait[@]}" update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get "${apt_wait[@]}" install -y -qq "${missing[@]}"
