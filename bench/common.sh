# Set-up shared by bench/backup.sh and bench/restore.sh; sourced, not run.
#
#   bench_setup NAME [CORPUS] [BUILD]
#
# Sets corpus, build, cli and work (a temporary folder removed at exit), makes the
# corpus when it is missing, writes $work/home/back.dat naming the corpus's folders,
# and prints the corpus's size.

# An ICQ folder that links to the corpus's folders and holds an empty icq.exe.
bench_icq_folder() {
  local folder=$1 part
  mkdir -p "$folder"
  : > "$folder/icq.exe"
  for part in "$corpus"/*/; do
    ln -s "$corpus/$(basename "$part")" "$folder/$(basename "$part")"
  done
}

bench_setup() {
  local name=$1
  corpus=$(realpath -m "${2:-bench/corpus}")
  build=$(realpath -m "${3:-build}")
  cli=$build/tools/torq32-cli
  [[ -x $cli ]] || { echo "no $cli: build the target torq32-cli first" >&2; exit 2; }
  [[ -d $corpus ]] || bench/make_corpus.sh "$corpus"

  work=$(mktemp -d "${TMPDIR:-/tmp}/varn-bench-$name.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  mkdir -p "$work/home"
  local entries="" part
  for part in "$corpus"/*/; do
    entries+="$(basename "$part")"$'\r\n'
  done
  printf '%sTheEnd\r\nbenchmark\r\n' "$entries" > "$work/home/back.dat"

  local files bytes
  files=$(find -L "$corpus" -type f | wc -l)
  bytes=$(du -sbL --apparent-size "$corpus" | cut -f1)
  echo "corpus: $corpus, $files files, $(( bytes / 1000000 )) MB" >&2
}

seconds() { date +%s.%N; }
