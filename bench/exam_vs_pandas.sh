#!/usr/bin/env bash
# The exam analysis as a user runs it (`lczs exam` on an .xlsx file, report
# saved) against the pandas + openpyxl script a data-savvy teacher would
# write instead, on the same generated book (bench/make_exam_book.py: classes
# of 50 students, 9 subjects, about 0.2 % empty score cells), bands 50,100,200
# both ways. Whole processes, paired in one hyperfine run per size; then the
# peak memory of each side.
#
#   bench/exam_vs_pandas.sh [build-dir] [sizes...]
#     build-dir: a Release build holding lczs (default build-bench, made here)
#     sizes: students (default 3000 30000)
#   LCZS_PANDAS_SCRIPT: the script (default ../shared/peers/exam_pandas.py)
#   LCZS_BENCH_RUNS: paired runs per size (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/release_build.sh
build=${1:-build-bench}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(3000 30000)
script=${LCZS_PANDAS_SCRIPT:-$(pwd)/../shared/peers/exam_pandas.py}
runs=${LCZS_BENCH_RUNS:-5}
if [ ! -x "$build/lczs" ]; then
  release_build "$build" lczs
fi
lczs=$(cd "$build" && pwd)/lczs
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/ours.sh" <<SH
#!/bin/sh
rm -rf "\$2" && mkdir -p "\$2"
exec "$lczs" exam "\$1" --cohort 2001 --grade G1 --save-name 成绩分析 --top 50,100,200 --bottom 50,100,200 \
  --yes -o "\$2/book.xlsx" >/dev/null 2>&1
SH
cat >"$work/theirs.sh" <<SH
#!/bin/sh
exec /usr/bin/python3 "$script" "\$1" "\$2.xlsx" 50 200 >/dev/null 2>&1
SH
chmod +x "$work/ours.sh" "$work/theirs.sh"

peak_kib() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }
printf '%-9s %10s %10s %7s %12s %12s\n' students "lczs (s)" "pandas (s)" ratio "lczs MiB" "pandas MiB"
for n in "${sizes[@]}"; do
  book="$work/exam$n.xlsx"
  /usr/bin/python3 bench/make_exam_book.py "$n" "$book"
  hyperfine -N -w 1 -r "$runs" --export-json "$work/t$n.json" \
    -n lczs "$work/ours.sh $book $work/out$n" -n pandas "$work/theirs.sh $book $work/pd$n" >/dev/null
  ours_kib=$(peak_kib "$work/ours.sh" "$book" "$work/out$n")
  theirs_kib=$(peak_kib "$work/theirs.sh" "$book" "$work/pd$n")
  /usr/bin/python3 - "$work/t$n.json" "$n" "$ours_kib" "$theirs_kib" <<'PY'
import json, statistics, sys
res = {r["command"]: statistics.median(r["times"]) for r in json.load(open(sys.argv[1]))["results"]}
n, ours, theirs = sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
print("%-9s %10.2f %10.2f %6.1fx %12.0f %12.0f" % (n, res["lczs"], res["pandas"], res["pandas"] / res["lczs"],
                                                  ours / 1024, theirs / 1024))
PY
done
