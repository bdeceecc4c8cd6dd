#!/usr/bin/env bash
# Whole-process timings of Varnex_data against the plain stdio program
# (bench/baseline_stdio.c) and against cp of the same input, with peak
# resident memory and a linearity check. Takes a few minutes.
#
#   bench/run_benchmarks.sh            # all inputs
#   RUNS=10 bench/run_benchmarks.sh    # more runs per command (default 5)
#   BUILD_DIR=build/mine bench/run_benchmarks.sh
#                                      # time an existing build, no rebuild
#
# Inputs are generated once into bench/data/ (git-ignored) and reused:
#   a  one record of 4,100,000 samples (about 220 MB)
#   b  40 records of 100,000 samples
#   c  20,000 records of 10 samples
#   d  examples/sample_export.txt
#   2a two records of 4,100,000 samples, for the linearity check
# Every run answers the dialogue with "<input> out/pfx 1 2 1": acceleration,
# no conversion, mean removal on, the files written into the directory
# "out". A normal run of either program ends with exit status 1, which each
# timed command checks.
#
# Each timed run writes into a new, empty "out" directory, on the same disk
# as the inputs, with no dirty pages left by the run before it (hyperfine
# --prepare: sync, move the last run's directory aside, make a new one).
# Overwriting the last run's files instead makes a run wait for their
# writeback; deleting them first makes ext4 slow to allocate the 60,000
# inodes of input c. The old directories are removed after each input.
# After the timings the program's files and console text are compared
# byte for byte with the baseline's.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
runs=${RUNS:-5}
baseline_runs=${BASELINE_RUNS:-3}

need_package() {  # command, package
  if ! command -v "$1" >/dev/null 2>&1; then
    echo "installing $2" >&2
    apt-get install -y "$2" >/dev/null
  fi
}
need_package hyperfine hyperfine
[ -x /usr/bin/time ] || { echo "installing time" >&2; apt-get install -y time >/dev/null; }
need_package python3 python3

if [ -z "${BUILD_DIR:-}" ]; then
  echo "== building (Release)" >&2
  cmake --preset release >/dev/null
  cmake --build --preset release >/dev/null
  BUILD_DIR=build/release
fi
build=$(cd "$BUILD_DIR" && pwd)
program=$build/Varnex_data
baseline=$build/baseline_stdio
cc -O2 -o "$baseline" bench/baseline_stdio.c -lm

data=$root/bench/data
mkdir -p "$data"
generate() {  # file records samples
  if [ ! -s "$1" ]; then
    echo "== generating $(basename "$1")" >&2
    "$build/make_export" "$1" "$2" "$3"
  fi
}
generate "$data/a_1x4100000.txt" 1 4100000
generate "$data/b_40x100000.txt" 40 100000
generate "$data/c_20000x10.txt" 20000 10
cp examples/sample_export.txt "$data/d_sample.txt"
generate "$data/2a_2x4100000.txt" 2 4100000

results=$data/results
rm -rf "$results"
mkdir -p "$results"

# The program waits for a key on the controlling terminal at its end; run
# everything in a session of its own, without one, so the wait ends at once.
detached() { setsid -w "$@"; }

# The --prepare command, run in a scratch directory: a new empty "out".
fresh='sync; if [ -d out ]; then mv out "old.$(date +%s%N)"; fi; mkdir out'

# run_once <scratch dir> <executable> <input> <console file> [wrapper...]
# One untimed run into a fresh "out", console text kept.
run_once() {
  local dir=$1 exe=$2 input=$3 console=$4
  shift 4
  (cd "$dir" && eval "$fresh" &&
   printf '%s out/pfx 1 2 1\n' "$input" |
     detached "$@" "$exe" > "$console") || true
}

# time_input <label> <input> <with baseline: yes/no>
time_input() {
  local label=$1 input=$2 with_baseline=$3
  local out_p=$data/run_program out_b=$data/run_baseline out_c=$data/run_copy
  rm -rf "$out_p" "$out_b" "$out_c"
  mkdir -p "$out_p" "$out_b" "$out_c"
  local answers="printf '%s out/pfx 1 2 1\\n' '$input'"

  echo "== $label: $(basename "$input") ($(du -h "$input" | cut -f1))" >&2
  (cd "$out_p" && detached hyperfine --style basic --warmup 1 --runs "$runs" \
      --prepare "$fresh" --export-json "$results/$label.program.json" \
      "$answers | '$program' > /dev/null; test \$? -eq 1" >&2)
  if [ "$with_baseline" = yes ]; then
    (cd "$out_b" && detached hyperfine --style basic --warmup 1 \
        --runs "$baseline_runs" --prepare "$fresh" \
        --export-json "$results/$label.baseline.json" \
        "$answers | '$baseline' > /dev/null; test \$? -eq 1" >&2)
  fi
  (cd "$out_c" && detached hyperfine --style basic --warmup 1 --runs "$runs" \
      --prepare "$fresh" --export-json "$results/$label.cp.json" \
      "cp '$input' out/copy.txt" >&2)

  # Peak resident memory of the program alone, from a run of its own.
  run_once "$out_p" "$program" "$input" "$results/$label.console.program" \
      /usr/bin/time -o "$results/$label.time.txt" -v
  sed -n 's/.*Maximum resident set size (kbytes): //p' \
      "$results/$label.time.txt" > "$results/$label.rss_kb"

  if [ "$with_baseline" = yes ]; then
    run_once "$out_b" "$baseline" "$input" "$results/$label.console.baseline"
    local files
    files=$(ls "$out_p/out" | wc -l)
    if diff -rq "$out_p/out" "$out_b/out" > "$results/$label.diff" &&
        cmp -s "$results/$label.console.program" \
               "$results/$label.console.baseline"; then
      echo "identical ($files files and the console)" > "$results/$label.check"
    else
      echo "DIFFERENT (see $results/$label.diff)" > "$results/$label.check"
    fi
  else
    echo "-" > "$results/$label.check"
  fi
  rm -rf "$out_p" "$out_b" "$out_c"
  sync
}

time_input a "$data/a_1x4100000.txt" yes
time_input b "$data/b_40x100000.txt" yes
time_input c "$data/c_20000x10.txt" yes
time_input d "$data/d_sample.txt" yes
time_input 2a "$data/2a_2x4100000.txt" no

# Linearity: one and two records of 4,100,000 samples, run alternately so
# that both see the same load on a shared machine.
echo "== linearity: a and 2a alternately, $runs pairs" >&2
out_l=$data/run_linearity
mkdir -p "$out_l"
: > "$results/linearity.txt"
for _ in $(seq "$runs"); do
  for label in a 2a; do
    case $label in
      a) input=$data/a_1x4100000.txt ;;
      2a) input=$data/2a_2x4100000.txt ;;
    esac
    run_once "$out_l" "$program" "$input" /dev/null \
        /usr/bin/time -f "$label %e %U %S" -a -o "$results/linearity.txt"
  done
done
rm -rf "$out_l"

python3 - "$results" <<'EOF'
import json, os, sys
res = sys.argv[1]

def stats(label, what):
    path = os.path.join(res, f"{label}.{what}.json")
    if not os.path.exists(path):
        return None
    r = json.load(open(path))["results"][0]
    return {"median": r["median"], "cpu": r["user"] + r["system"]}

def read(label, ext):
    path = os.path.join(res, f"{label}.{ext}")
    return open(path).read().strip() if os.path.exists(path) else "-"

names = {"a": "a: 1 x 4,100,000", "b": "b: 40 x 100,000",
         "c": "c: 20,000 x 10", "d": "d: sample export",
         "2a": "2a: 2 x 4,100,000"}
print("Medians of wall time in seconds (CPU = mean user+system of the same runs)")
print()
print("| input | program | program CPU | baseline | baseline CPU | cp "
      "| baseline/program | program/cp | peak RSS | files |")
print("|---|---:|---:|---:|---:|---:|---:|---:|---:|---|")
rows = {}
for label in ["a", "b", "c", "d", "2a"]:
    p, b, c = stats(label, "program"), stats(label, "baseline"), stats(label, "cp")
    rows[label] = (p, b, c)
    rss = read(label, "rss_kb")
    rss_text = f"{int(rss) / 1024:.1f} MiB" if rss.isdigit() else "-"
    fmt = lambda s, k: f"{s[k]:.3f}" if s else "-"
    ratio_b = f"{b['median'] / p['median']:.1f}x" if b else "-"
    ratio_c = f"{p['median'] / c['median']:.1f}x"
    print(f"| {names[label]} | {fmt(p, 'median')} | {fmt(p, 'cpu')} "
          f"| {fmt(b, 'median')} | {fmt(b, 'cpu')} | {fmt(c, 'median')} "
          f"| {ratio_b} | {ratio_c} | {rss_text} | {read(label, 'check')} |")

import statistics
pairs = {"a": ([], []), "2a": ([], [])}
for line in open(os.path.join(res, "linearity.txt")):
    f = line.split()
    if len(f) == 4 and f[0] in pairs:
        pairs[f[0]][0].append(float(f[1]))
        pairs[f[0]][1].append(float(f[2]) + float(f[3]))
wall = {k: statistics.median(v[0]) for k, v in pairs.items()}
cpu = {k: statistics.median(v[1]) for k, v in pairs.items()}
one, two = wall["a"], wall["2a"]
print()
print(f"Linearity ({len(pairs['a'][0])} alternating pairs): 2 x 4,100,000 "
      f"samples take {two:.3f} s against {one:.3f} s for 1 x 4,100,000, "
      f"{two / one:.2f} times as long (CPU {cpu['2a'] / cpu['a']:.2f} times); "
      f"target 2.00 within 15%: 1.70 to 2.30")
print()

def check(name, ok):
    print(f"- {'met' if ok else 'NOT met'}: {name}")
pa, ba, ca = rows["a"]
pb, bb, cb = rows["b"]
pc, bc, _ = rows["c"]
rss_a = int(read("a", "rss_kb")) / 1024
rss_d = int(read("d", "rss_kb")) / 1024
print("Targets")
check("a: >= 10x faster than the baseline",
      ba["median"] / pa["median"] >= 10)
check("a: <= 4x the time of cp", pa["median"] / ca["median"] <= 4)
check("b: >= 10x faster than the baseline",
      bb["median"] / pb["median"] >= 10)
check("b: <= 4x the time of cp", pb["median"] / cb["median"] <= 4)
check("c: no slower than the baseline", pc["median"] <= bc["median"])
check("peak RSS <= 150 MiB on a", rss_a <= 150)
check("peak RSS <= 8 MiB on the sample", rss_d <= 8)
check("doubling the samples doubles the time within 15%",
      1.7 <= two / one <= 2.3)
EOF
