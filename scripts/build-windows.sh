#!/usr/bin/env bash
# Builds the Windows programs with mingw-w64 and packs them with a README into
#   dist/varn-icq-backup-<version>-win32.zip   (i686, the program that counts)
#   dist/varn-icq-backup-<version>-win64.zip   (x86_64)
#
#   scripts/build-windows.sh [win32|win64]     (default: both)
#
# It installs what is missing (scripts/install-deps.sh --windows), configures and builds
# build-win32/ and build-win64/ (an existing build folder keeps its options: the test
# runs build their suites in the same folders), and checks that every program is
# statically linked: it may name only DLLs that Windows itself has; and that it carries its
# identity and runs on Windows XP (tests/windows_identity_test.sh). torq32.exe, the
# window program, is packed when the build makes it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

"$root/scripts/install-deps.sh" --windows

version=$(sed -n 's/^project([^)]*VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
programs=(torq32-cli lzz)
optional_programs=(torq32)  # made by the build once the native window is there
# The DLLs a program may import: those every Windows has, in lower case.
system_dlls='^(kernel32|user32|gdi32|advapi32|shell32|comctl32|comdlg32|ole32|oleaut32|version|winmm|ws2_32|shlwapi|uxtheme|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$'

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi

# build BITS TRIPLET: configures and builds build-winBITS, packs its zip.
build() {
  local bits=$1 triplet=$2
  local dir="$root/build-win$bits"
  local options=()
  # A new build folder leaves the test suites out; .ci/run configures them on its own.
  if [[ ! -f "$dir/CMakeCache.txt" ]]; then options=(-DVARN_BUILD_TESTS=OFF); fi
  cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/$triplet.cmake" \
    -DVARN_WERROR=ON -DVARN_BUILD_GUI=OFF -DVARN_BUILD_BENCH=OFF -DVARN_LZSS_PORTABLE=ON \
    "${launcher[@]}" "${options[@]}" >/dev/null

  local targets=("${programs[@]}") known
  known=$(cmake --build "$dir" --target help)
  for program in "${optional_programs[@]}"; do
    # The whole name: "torq32" is also the start of "torq32-cli".
    if grep -qE "(^|[[:space:]])$program(:|[[:space:]]|\$)" <<< "$known"; then
      targets+=("$program")
    fi
  done
  cmake --build "$dir" -j"$(nproc)" --target "${targets[@]}"

  local stage="$dir/package/varn-icq-backup-$version-win$bits"
  rm -rf "$stage"
  mkdir -p "$stage" "$root/dist"
  for program in "${targets[@]}"; do
    local exe
    exe=$(find "$dir" -path "$dir/package" -prune -o -type f -name "$program.exe" -print | head -1)
    [[ -n "$exe" ]] || { echo "build-windows: $program.exe was not built" >&2; exit 1; }
    "$triplet-strip" -o "$stage/$program.exe" "$exe"
    local dll
    while read -r dll; do
      if ! grep -qiE "$system_dlls" <<< "$dll"; then
        echo "build-windows: $program.exe needs $dll: not statically linked" >&2
        exit 1
      fi
    done < <("$triplet-objdump" -p "$stage/$program.exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
  done
  # Each carries its icon, version information and manifest, and imports nothing that the
  # oldest Windows its header names lacks.
  local minimum quad
  minimum=$(sed -n 's/^VARN_WINDOWS_MINIMUM:INTERNAL=//p' "$dir/CMakeCache.txt")
  quad=$(sed -n 's/^VARN_VERSION_QUAD:INTERNAL=//p' "$dir/CMakeCache.txt")
  "$root/tests/windows_identity_test.sh" "$triplet-objdump" "$triplet-windres" "$minimum" "$quad" \
    "$stage"/*.exe >/dev/null
  # Windows texts end their lines with CR LF.
  sed "s/@VERSION@/$version/; s/@BITS@/$bits/; s/\$/\r/" "$root/packaging/windows/README.txt" \
    > "$stage/README.txt"

  local zip="$root/dist/varn-icq-backup-$version-win$bits.zip"
  rm -f "$zip"
  (cd "$stage" && zip -q -X -j "$zip" ./*)
  echo "$zip: $(cd "$stage" && ls | tr '\n' ' ')"
}

case "${1:-all}" in
  win32) build 32 i686-w64-mingw32 ;;
  win64) build 64 x86_64-w64-mingw32 ;;
  all)
    build 32 i686-w64-mingw32
    build 64 x86_64-w64-mingw32
    ;;
  *)
    echo "usage: scripts/build-windows.sh [win32|win64]" >&2
    exit 2
    ;;
esac
