#!/usr/bin/env bash
# Growth of the class division (dealt, no search: --minutes 0) and of the
# proficiency-test analysis from a small grade to a ten times larger one, as
# a user runs them (`lczs classdiv|proficiency` on an .xlsx file, result
# saved). Whole processes; each round is one hyperfine run of the small book
# and one of the large, back to back, so both see the same load, and the
# ratio is taken per round. Printed: medians over the rounds of wall time
# and of CPU time (user + system, steadier on a shared machine), and the
# median of the per-round ratios. The goal is at most 12x for 10x students.
#
#   bench/growth.sh [build-dir] [small] [large]
#     build-dir: a Release build holding lczs (default build-bench, made here)
#     small, large: students (default 30000 300000); classes of 50
#   LCZS_BENCH_RUNS: rounds (default 5)
#   LCZS_BENCH_JOBS: which jobs (default "classdiv proficiency")
#   LCZS_BENCH_BOOKS: a folder keeping the generated books between runs
#     (default: made afresh in a temporary folder)
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/release_build.sh
build=${1:-build-bench}
small=${2:-30000}
large=${3:-300000}
runs=${LCZS_BENCH_RUNS:-5}
jobs=(${LCZS_BENCH_JOBS:-classdiv proficiency})
if [ ! -x "$build/lczs" ]; then
  release_build "$build" lczs
fi
lczs=$(cd "$build" && pwd)/lczs
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
books=${LCZS_BENCH_BOOKS:-$work}
mkdir -p "$books"
books=$(cd "$books" && pwd)

# run.sh JOB STUDENTS: one run on the book of that size, into a fresh copy.
cat >"$work/run.sh" <<SH
#!/bin/sh
out="$work/out-\$1-\$2.xlsx"
rm -f "\$out"
if [ "\$1" = classdiv ]; then
  exec "$lczs" classdiv "$books/classdiv\$2.xlsx" --classes \$((\$2 / 50)) --minutes 0 --yes -o "\$out" >/dev/null 2>&1
else
  exec "$lczs" proficiency "$books/proficiency\$2.xlsx" --yes -o "\$out" >/dev/null 2>&1
fi
SH
chmod +x "$work/run.sh"

printf '%-12s %9s %9s %7s %9s %9s %7s\n' job "wall $small" "$large" ratio "cpu $small" "$large" ratio
for job in "${jobs[@]}"; do
  for n in "$small" "$large"; do
    book="$books/$job$n.xlsx"
    [ -s "$book" ] && continue
    if [ "$job" = classdiv ]; then
      /usr/bin/python3 bench/make_classdiv_book.py "$book.part" --students "$n" --classes $((n / 50))
    else
      /usr/bin/python3 bench/make_proficiency_book.py "$book.part" --students "$n"
    fi
    mv "$book.part" "$book"
  done
  for round in $(seq "$runs"); do
    hyperfine -N -r 1 --export-json "$work/$job-$round.json" \
      -n small "$work/run.sh $job $small" -n large "$work/run.sh $job $large" >/dev/null
  done
  /usr/bin/python3 - "$job" "$work" "$runs" <<'PY'
import json, statistics, sys
job, work, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
wall, cpu = {"small": [], "large": []}, {"small": [], "large": []}
for k in range(1, runs + 1):
    for r in json.load(open("%s/%s-%d.json" % (work, job, k)))["results"]:
        wall[r["command"]].append(r["times"][0])
        cpu[r["command"]].append(r["user"] + r["system"])
med = statistics.median
ratio = lambda d: med(b / a for a, b in zip(d["small"], d["large"]))
print("%-12s %9.2f %9.2f %6.1fx %9.2f %9.2f %6.1fx" % (job, med(wall["small"]), med(wall["large"]), ratio(wall),
                                                     med(cpu["small"]), med(cpu["large"]), ratio(cpu)))
PY
done
