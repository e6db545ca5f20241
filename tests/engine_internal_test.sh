#!/usr/bin/env bash
# The engine's internal header is for lz/ and the tests: no program includes it.
# Usage: engine_internal_test.sh SOURCE_DIR
set -u
cd "$1" || exit 1
found=$(grep -rln --include='*.h' --include='*.cpp' '#include "lz/lz_internal.h"' . |
        grep -v -e '^\./lz/' -e '^\./tests/' -e '^\./build' || true)
if [[ -n "$found" ]]; then
  echo "lz/lz_internal.h is included outside lz/ and tests/:"
  echo "$found"
  exit 1
fi
# The check itself must see the includes it looks for.
grep -q '#include "lz/lz_internal.h"' lz/lz_file.cpp || { echo "lz/lz_file.cpp: include not found"; exit 1; }
