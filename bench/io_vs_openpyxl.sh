#!/usr/bin/env bash
# Times reading and writing the 30,000 x 15 workbook of bench/io_bench.cpp
# with our io library and with openpyxl, on the same file in the same run,
# and prints how many times faster ours is.
#
#   bench/io_vs_openpyxl.sh [build-dir]   (default build-io-bench, made Release;
#   g++ 12 at -O2 gives false warnings in some sources, kept from failing it)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-io-bench}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DLCZS_BENCH=ON -DLCZS_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="-Wno-error=maybe-uninitialized -Wno-error=restrict -Wno-error=array-bounds -Wno-error=stringop-overflow" >/dev/null
cmake --build "$build" --target io_bench -j2 >"$build/io_bench.log" 2>&1 || { tail -40 "$build/io_bench.log"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

LCZS_IO_BENCH_DIR="$work" "$build/bench/io_bench" --benchmark_filter='Xlsx' \
  --benchmark_format=json --benchmark_min_time=1 >"$work/ours.json"

/usr/bin/python3 - "$work" <<'PY'
import json, os, sys, time
import openpyxl
from openpyxl.styles import Alignment, Border, Font, Side

work = sys.argv[1]
ours = {b["name"].split("/")[0]: b["real_time"] / 1000.0 for b in json.load(open(os.path.join(work, "ours.json")))["benchmarks"]}
for b in json.load(open(os.path.join(work, "ours.json")))["benchmarks"]:
    assert b["time_unit"] == "ms"

surnames = ["张", "李", "王", "刘", "陈", "杨", "赵", "黄", "周", "吴"]
given = ["伟", "芳", "娜", "敏", "静", "丽", "强", "磊", "军", "洋", "勇", "艳"]


def write(path):
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
    wb.save(path)


def best(f, runs=3):
    times = []
    for _ in range(runs):
        t = time.perf_counter()
        f()
        times.append(time.perf_counter() - t)
    return min(times)


ours_file = os.path.join(work, "io_bench.xlsx")
theirs_write = best(lambda: write(os.path.join(work, "openpyxl.xlsx")))
theirs_read = best(lambda: sum(1 for row in openpyxl.load_workbook(ours_file).active.iter_rows() for _ in row))
print("%-6s %12s %12s %8s" % ("", "lczs (s)", "openpyxl (s)", "ratio"))
print("%-6s %12.3f %12.3f %7.1fx" % ("write", ours["BM_WriteXlsx"], theirs_write, theirs_write / ours["BM_WriteXlsx"]))
print("%-6s %12.3f %12.3f %7.1fx" % ("read", ours["BM_ReadXlsx"], theirs_read, theirs_read / ours["BM_ReadXlsx"]))
PY
