#!/usr/bin/env bash
# The exam analysis with electives, 等级赋分, score lines and 进退步 all on
# against a plain run on the same size of grade (bench/make_reform_book.py:
# classes of 50, nine subject columns; the reformed book leaves each student's
# three unchosen electives empty and adds 分析设置, 分数线 and 上次成绩). Whole
# processes, `lczs exam` on an .xlsx file with the report saved, paired in one
# hyperfine run; prints the medians and their ratio (goal: at most 1.5).
#
#   bench/exam_reform.sh [build-dir] [students]
#     build-dir: a Release build holding lczs (default build-bench, made here)
#     students: default 30000
#   LCZS_BENCH_RUNS: paired runs (default 5)
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/release_build.sh
bash scripts/install-missing.sh hyperfine python3-openpyxl
build=${1:-build-bench}
n=${2:-30000}
runs=${LCZS_BENCH_RUNS:-5}
if [ ! -x "$build/lczs" ]; then
  release_build "$build" lczs
fi
lczs=$(cd "$build" && pwd)/lczs
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/run.sh" <<SH
#!/bin/sh
rm -rf "\$2" && mkdir -p "\$2"
exec "$lczs" exam "\$1" --cohort 2001 --grade G1 --save-name 成绩分析 --top 50,100,200 --bottom 50,100,200 \
  --yes -o "\$2/book.xlsx" >/dev/null 2>&1
SH
chmod +x "$work/run.sh"
/usr/bin/python3 bench/make_reform_book.py "$n" "$work/plain.xlsx" --plain
/usr/bin/python3 bench/make_reform_book.py "$n" "$work/reform.xlsx"
# Both must finish: a refused run would time nothing.
"$work/run.sh" "$work/plain.xlsx" "$work/check-plain"
"$work/run.sh" "$work/reform.xlsx" "$work/check-reform"
hyperfine -N -w 1 -r "$runs" --export-json "$work/t.json" \
  -n plain "$work/run.sh $work/plain.xlsx $work/out-plain" \
  -n reform "$work/run.sh $work/reform.xlsx $work/out-reform" >/dev/null
/usr/bin/python3 - "$work/t.json" "$n" <<'PY'
import json, statistics, sys
res = {r["command"]: statistics.median(r["times"]) for r in json.load(open(sys.argv[1]))["results"]}
print("%s students: plain %.2f s, all options on %.2f s, ratio %.2f" %
      (sys.argv[2], res["plain"], res["reform"], res["reform"] / res["plain"]))
PY
