#!/usr/bin/env bash
# Every CTest test carries one of the labels, and each label selects at least one test.
# Usage: labels_test.sh CTEST BUILD_DIR LABEL...   (the labels this build uses)
set -u
ctest=$1 build=$2
shift 2
count() { "$ctest" --test-dir "$build" -N "$@" | sed -n 's/^Total Tests: //p'; }
any_label="^($(IFS='|'; echo "$*"))\$"
unlabelled=$(count -LE "$any_label")
if [[ "$unlabelled" != 0 ]]; then
  echo "tests without one of the labels $*:"
  "$ctest" --test-dir "$build" -N -LE "$any_label"
  exit 1
fi
for label; do
  selected=$(count -L "^$label\$")
  if [[ "${selected:-0}" -eq 0 ]]; then
    echo "no test is labelled $label"
    exit 1
  fi
done
