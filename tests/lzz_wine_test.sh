#!/usr/bin/env bash
# The Windows lzz.exe under Wine and the Linux lzz on the same files: both compress
# them (LZSS and LZH) into the same bytes, each restores the other's compressed file
# byte for byte, and their info reports are the same lines. lzz.exe also passes bytes
# through standard input and output unchanged and stops cleanly on Ctrl-C.
#
#   lzz_wine_test.sh LINUX_LZZ WINDOWS_LZZ SAMPLE_FILE...
#
# Exits 77 (skipped) when there is no Windows lzz.exe (no Windows build) or no wine.
set -euo pipefail
linux_lzz=$1
windows_lzz=$2
shift 2
if [[ ! -f "$windows_lzz" ]] || ! command -v wine >/dev/null; then
  echo "no Windows build ($windows_lzz) or no wine: skipped"
  exit 77
fi
export WINEDEBUG=-all

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# The samples: the given files, and what tends to break a coder: nothing, one byte,
# long runs, a period longer than the window.
names=()
for sample in "$@"; do
  cp "$sample" "$(basename "$sample")"
  names+=("$(basename "$sample")")
done
: > empty.dat
printf 'x' > one.dat
head -c 300000 /dev/zero | tr '\0' 'a' > run.dat
for i in $(seq 1 3000); do printf 'line %05d of a periodic text\n' $((i % 211)); done > periodic.txt
names+=(empty.dat one.dat run.dat periodic.txt)
# The same date-time for every sample, in the 2-second steps of the header.
touch -t 202001020304.06 "${names[@]}"

failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

# Runs the Linux lzz (drive C: is "/" without a Wine prefix) or the Windows one, in
# this folder, with the names relative to it.
on_linux() { WINEPREFIX=/nonexistent "$linux_lzz" "$@"; }
on_windows() { wine "$windows_lzz" "$@"; }

for name in "${names[@]}"; do
  for method in lzss lzh; do
    on_linux compress --method "$method" "$name" "$name.$method.linux" ||
      fail "Linux lzz compress $method $name"
    on_windows compress --method "$method" "$name" "$name.$method.windows" ||
      fail "lzz.exe compress $method $name"
    cmp -s "$name.$method.linux" "$name.$method.windows" ||
      fail "$method: the compressed files of $name differ"

    on_linux decompress "$name.$method.windows" "$name.$method.from-windows" ||
      fail "Linux lzz decompress of lzz.exe's $method $name"
    on_windows decompress "$name.$method.linux" "$name.$method.from-linux" ||
      fail "lzz.exe decompress of Linux lzz's $method $name"
    cmp -s "$name" "$name.$method.from-windows" ||
      fail "$method: $name restored by Linux lzz differs from the original"
    cmp -s "$name" "$name.$method.from-linux" ||
      fail "$method: $name restored by lzz.exe differs from the original"
  done
  # Windows ends the report's lines with CR LF.
  linux_info=$(on_linux info "$name.lzh.linux")
  windows_info=$(on_windows info "$name.lzh.linux" | tr -d '\r')
  [[ "$linux_info" == "$windows_info" ]] ||
    fail "info of $name: Linux says"$'\n'"$linux_info"$'\n'"lzz.exe says"$'\n'"$windows_info"
done

# Standard input and output carry bytes unchanged on Windows too.
on_windows compress - - < run.dat > run.stdout.windows || fail "lzz.exe compress - -"
on_windows decompress - - < run.stdout.windows > run.stdout.restored ||
  fail "lzz.exe decompress - -"
cmp -s run.dat run.stdout.restored || fail "lzz.exe through standard input and output"

# Ctrl-C: Wine hands SIGINT to the program as the console's Ctrl-C event. lzz.exe says
# "interrupted", exits with 130 and leaves no destination, not even a temporary one.
mkfifo feed
wine "$windows_lzz" compress - stopped.lzz < feed > /dev/null 2> stopped.err &
lzz_pid=$!
exec 3> feed
# Returns once lzz.exe has read most of it: by then it is running, its handler set.
head -c 1000000 /dev/zero >&3
kill -INT "$lzz_pid"
sleep 1
printf 'the rest' >&3
exec 3>&-
status=0
wait "$lzz_pid" || status=$?
[[ $status -eq 130 ]] || fail "lzz.exe after Ctrl-C: exit status $status, not 130"
grep -q "lzz: interrupted" stopped.err || fail "lzz.exe after Ctrl-C said: $(cat stopped.err)"
leftover=$(find . -name '*stopped*' ! -name stopped.err)
[[ -z $leftover ]] || fail "lzz.exe after Ctrl-C left $leftover"

echo "${#names[@]} files, $failures failures"
[[ $failures -eq 0 ]]
