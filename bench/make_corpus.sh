#!/usr/bin/env bash
# Builds the benchmark corpus from files every Debian machine has: about 105 MB in
# several thousand files, split into a text-heavy part (DIR/text: licences, man pages,
# package documentation, C headers) and a binary-heavy part (DIR/binary: shared
# libraries and locale message catalogues). Compressed man pages and documents are
# stored decompressed. The file lists are sorted, so the same machine always gives the
# same corpus.
#
#   bench/make_corpus.sh [DIR]      (default: bench/corpus; an existing DIR is replaced)
set -euo pipefail

dir=${1:-$(dirname "$0")/corpus}
rm -rf "$dir"
mkdir -p "$dir/text" "$dir/binary"

# add PART BUDGET_MB MAX_FILE_KB FIND_ARGS...: copies the regular files that find
# selects, in path order, into PART (keeping their paths) until their sizes on disk add
# up to BUDGET_MB. Larger files are skipped so that no single file dominates a part.
# Files are copied in batches: one process per file would take minutes.
add() {
  local part=$1 budget=$(( $2 * 1000000 )) max=$(( $3 * 1000 ))
  shift 3
  local list
  # A folder that this machine lacks (/usr/lib64) is no error.
  list=$(find "$@" -type f -printf '%p\t%s\n' 2>/dev/null | LC_ALL=C sort || true)
  awk -F'\t' -v budget="$budget" -v max="$max" \
      '$2 > 0 && $2 <= max { if (sum >= budget) exit; sum += $2; print $1 }' <<< "$list" |
    xargs -r -d '\n' cp --parents -t "$dir/$part"
}

echo "corpus in $dir" >&2
# Text: man pages and changelogs are compressed about 3:1 on disk.
add text 1 2000 /usr/share/common-licenses
add text 8 700 /usr/share/man -name '*.gz'
add text 7 700 /usr/share/doc
add text 12 1000 /usr/include -name '*.h'
# Binary: shared libraries, then the message catalogues of the installed programs.
add binary 40 6000 /usr/lib /usr/lib64 -name '*.so*'
add binary 12 2000 /usr/share/locale -name '*.mo'

find "$dir" -type f -name '*.gz' -print0 | xargs -r -0 gzip -d -f 2>/dev/null || true
find "$dir" -type f -name '*.gz' -delete  # any that would not decompress

for part in text binary; do
  files=$(find "$dir/$part" -type f | wc -l)
  bytes=$(du -sb --apparent-size "$dir/$part" | cut -f1)
  echo "$part: $files files, $(( bytes / 1000000 )) MB" >&2
done
