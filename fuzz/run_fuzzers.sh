#!/usr/bin/env bash
# Builds the fuzz preset and runs every libFuzzer target for a bounded time
# (default 60 seconds each), one after another. Fails at the first target
# that finds a crash, a sanitizer report, a leak, a timeout or a failed
# check; the input that caused it is left in build/fuzz/findings/.
#
# usage: fuzz/run_fuzzers.sh [seconds-per-target]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
targets=(fuzz_scan fuzz_row_number fuzz_format)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

bin=build/fuzz/fuzz
work=build/fuzz/corpus          # what each run learns; the seeds stay clean
findings=build/fuzz/findings
mkdir -p "$findings"

status=0
for target in "${targets[@]}"; do
  mkdir -p "$work/$target"
  extra=()
  [[ -f "fuzz/$target.dict" ]] && extra+=("-dict=fuzz/$target.dict")
  echo "== $target: ${seconds}s"
  if ! "$bin/$target" "$work/$target" "fuzz/corpus/$target" \
      -max_total_time="$seconds" -timeout=10 -max_len=16384 \
      -artifact_prefix="$findings/$target-" -print_final_stats=1 \
      "${extra[@]}" 2> "$findings/$target.log"; then
    tail -n 40 "$findings/$target.log"
    echo "== $target: FINDING (see $findings/)"
    status=1
    break
  fi
  grep -E '^stat::(number_of_executed_units|new_units_added|peak_rss_mb)' \
    "$findings/$target.log" || true
done
exit "$status"
