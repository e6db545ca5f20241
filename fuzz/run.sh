#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and fuzzes each one in turn for
# SECONDS seconds (default 60), at the lowest priority. Each target starts from its
# checked-in seeds and keeps what it learns in build-fuzz/corpus/<target>/; findings land
# in fuzz/findings/. After each target it prints the executions, libFuzzer's own rate
# (executions per second of wall time) and the rate per second of processor time, which
# stays comparable on a machine that others share.
#   fuzz/run.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true

scripts/install-deps.sh --fuzz
cmake -S . -B build-fuzz -DVARN_FUZZ=ON -DVARN_BUILD_GUI=OFF -DVARN_BUILD_TESTS=OFF \
  -DVARN_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null

targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
  targets=($(sed -n '/set(VARN_FUZZ_TARGETS/,/)/p' fuzz/targets.cmake | tr -d '()' |
             grep -v set))
fi
cmake --build build-fuzz -j2 --target "${targets[@]/#/fuzz_}"

mkdir -p fuzz/findings build-fuzz/logs
status=0
for target in "${targets[@]}"; do
  corpus=build-fuzz/corpus/$target
  log=build-fuzz/logs/$target.log
  cpu=build-fuzz/logs/$target.cpu
  mkdir -p "$corpus"
  echo "== fuzz_$target for ${seconds}s"
  result=0
  { TIMEFORMAT='%U %S'; time nice -n 19 "build-fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" \
      -print_final_stats=1 -artifact_prefix="fuzz/findings/$target-" "$corpus" \
      "fuzz/corpus/$target" >"$log" 2>&1 || result=$?; } 2>"$cpu"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  cpu_rate=$(awk -v runs="${runs:-0}" '{ t = $1 + $2 } END { if (t > 0) printf "%d", runs / t }' \
             "$cpu")
  echo "fuzz_$target: ${runs:-?} executions, ${rate:-?} per second, ${cpu_rate:-?} per CPU second"
  if [[ $result -ne 0 ]]; then
    status=1
    echo "FINDING (log: $log)"
    grep -E '==ERROR|SUMMARY|fuzz check failed|Test unit written' "$log" || tail -20 "$log"
  fi
done
exit $status
