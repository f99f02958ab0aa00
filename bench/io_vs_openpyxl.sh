#!/usr/bin/env bash
# Whole processes on both sides, in one hyperfine run each, on the 30,000 x 15
# workbook of bench/io_bench.cpp:
#   write: `io_bench write` (build the workbook, save it with its check)
#          against a python3 process that builds the same workbook with
#          openpyxl and saves it;
#   read:  one cold `io_bench read` against one openpyxl load_workbook
#          that walks every cell.
# Then peak memory of the read over the cells read (bytes per cell).
#
#   bench/io_vs_openpyxl.sh [build-dir]   (default build-io-bench, made Release;
#   g++ 12 at -O2 gives false warnings in some sources, kept from failing it)
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/release_build.sh
build=${1:-build-io-bench}
runs=${LCZS_BENCH_RUNS:-5}
release_build "$build" io_bench
bench=$(cd "$build/bench" && pwd)/io_bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/openpyxl_write.py" <<'PY'
import sys
import openpyxl
from openpyxl.styles import Alignment, Border, Font, Side

surnames = ["张", "李", "王", "刘", "陈", "杨", "赵", "黄", "周", "吴"]
given = ["伟", "芳", "娜", "敏", "静", "丽", "强", "磊", "军", "洋", "勇", "艳"]
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "成绩"
ws.append(["学号", "姓名", "班级"] + ["科目%d" % (s + 1) for s in range(12)])
bold, center, line = Font(bold=True), Alignment(horizontal="center"), Border(bottom=Side(style="thin"))
for c in ws[1]:
    c.font, c.alignment, c.border = bold, center, line
for i in range(30000):
    ws.append([20240000 + i, surnames[i % 10] + given[(i // 10) % 12] + given[(i // 120) % 12],
               "高一(%d)班" % (i % 12 + 1)] + [((i * 7 + s * 13) % 100) + 0.5 * ((i + s) % 2) for s in range(12)])
for row in ws.iter_rows(min_row=2, min_col=4):
    for c in row:
        c.number_format = "0.0"
ws.column_dimensions["B"].width = 10.7109375
wb.save(sys.argv[1])
PY
cat >"$work/openpyxl_read.py" <<'PY'
import sys
import openpyxl
print(sum(1 for row in openpyxl.load_workbook(sys.argv[1]).active.iter_rows() for c in row if c.value is not None))
PY

"$bench" write "$work/book.xlsx"
hyperfine -N -w 1 -r "$runs" --export-json "$work/write.json" \
  -n lczs "$bench write $work/ours.xlsx" -n openpyxl "/usr/bin/python3 $work/openpyxl_write.py $work/theirs.xlsx" >/dev/null
hyperfine -N -w 1 -r "$runs" --export-json "$work/read.json" \
  -n lczs "$bench read $work/book.xlsx" -n openpyxl "/usr/bin/python3 $work/openpyxl_read.py $work/book.xlsx" >/dev/null

peak_kib() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }
cells=$("$bench" read "$work/book.xlsx")
/usr/bin/python3 - "$work" "$cells" "$(peak_kib "$bench" read "$work/book.xlsx")" <<'PY'
import json, os, statistics, sys
work, cells, peak_kib = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
print("%-6s %12s %12s %8s" % ("", "lczs (s)", "openpyxl (s)", "ratio"))
for what in ("write", "read"):
    res = {r["command"]: statistics.median(r["times"]) for r in json.load(open(os.path.join(work, what + ".json")))["results"]}
    print("%-6s %12.3f %12.3f %7.1fx" % (what, res["lczs"], res["openpyxl"], res["openpyxl"] / res["lczs"]))
print("read peak memory: %.1f MiB for %d cells, %.0f bytes per cell (the process's own start included)"
      % (peak_kib / 1024, cells, peak_kib * 1024 / cells))
PY
