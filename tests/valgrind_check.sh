#!/usr/bin/env bash
# Runs the release build under valgrind's memcheck on the sample export, in a
# scratch directory, with every conversion chosen (acceleration to G, mean
# removal). Fails on any memory error or definite leak, and when the run
# does not end as a normal run (status 1) with its channel files written.
#
# usage: tests/valgrind_check.sh [path-to-Varnex_data]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
exe="$(realpath "${1:-$root/build/release/Varnex_data}")"
[[ -x "$exe" ]] || { echo "no program at $exe (build the release preset first)" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$root/examples/sample_export.txt" "$work/"
printf 'sample_export.txt run 1 1 1\n' > "$work/answers.txt"

cd "$work"
# setsid: no controlling terminal, so the closing key wait ends at once.
status=0
setsid -w valgrind --quiet --error-exitcode=9 --leak-check=full \
  --errors-for-leak-kinds=definite --log-file=valgrind.log \
  "$exe" < answers.txt > console.txt || status=$?

cat valgrind.log
if [[ "$status" -ne 1 ]]; then
  echo "valgrind check FAILED: exit status $status (9: memcheck errors; a normal run ends with 1)" >&2
  exit 1
fi
if ! ls run_x_* > /dev/null 2>&1 || [[ ! -s run_rms.txt ]]; then
  echo "valgrind check FAILED: no channel or RMS output written" >&2
  exit 1
fi
echo "valgrind check passed: $(ls run_x_* | wc -l) records, no memory errors, no definite leaks"
