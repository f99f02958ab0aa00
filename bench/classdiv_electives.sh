#!/bin/bash
# Division by elective combination against the ordinary division of each
# group's students alone: for every group of two or more classes, the
# largest spread of class averages the elective run reached (选科分班's
# 班平均分最大差值) and the one `lczs classdiv` reaches on a book of that
# group's students in the same number of classes, given the group's share
# of the time, and their ratio (goal: at most 1.5 after 30 s).
#
#   bench/classdiv_electives.sh [build-dir] [seconds] [students] [classes] [system] [seed]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build-bench}
seconds=${2:-30}
students=${3:-1000}
classes=${4:-20}
system=${5:-3+1+2}
seed=${6:-1}
lczs=$build/lczs
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

/usr/bin/python3 "$here/make_classdiv_book.py" "$work/grade.xlsx" --students "$students" --seed "$seed" \
  --electives "$system"
minutes=$(/usr/bin/python3 -c "print($seconds / 60)")
"$lczs" classdiv "$work/grade.xlsx" --classes "$classes" --minutes "$minutes" --max-diff -1 --yes \
  -o "$work/divided.xlsx" >/dev/null 2>"$work/divided.err"
grep -o "选科分班：.*" "$work/divided.err"

# One book per group of two or more classes, with its share of the time.
/usr/bin/python3 - "$work" "$seconds" "$students" <<'PY' > "$work/groups.txt"
import sys, openpyxl
work, seconds, total = sys.argv[1], float(sys.argv[2]), int(sys.argv[3])
wb = openpyxl.load_workbook(work + "/divided.xlsx")
data, result = wb.worksheets[0], wb["选科分班"]
rows = list(result.iter_rows(values_only=True))
groups = []
start = next(i for i, r in enumerate(rows) if r[0] == "组")
for r in rows[start + 1:]:
    if r[0] is None:
        break
    first, _, last = str(r[2]).partition("～")
    groups.append((r[0], r[1], int(first), int(last or first), r[3], r[5]))
header = [c.value for c in data[1]]
students = [r for r in data.iter_rows(min_row=2, max_row=total + 1, values_only=True)]
for g, name, first, last, n, spread in groups:
    if last == first:
        continue
    out = openpyxl.Workbook()
    ws = out.active
    ws.title = "组"
    ws.append(header[:len(header)])
    for r in students:
        if first <= r[1] <= last:
            ws.append([r[0], None] + list(r[2:]))
    out.save("%s/group%d.xlsx" % (work, g))
    print(g, name, last - first + 1, n, spread, seconds * n / total / 60)
PY

spread() {  # largest spread in the statistics block of a divided book
  /usr/bin/python3 - "$1" <<'PY'
import sys, openpyxl
ws = openpyxl.load_workbook(sys.argv[1]).worksheets[0]
for row in ws.iter_rows(values_only=True):
    if row[2] == "平均分两最之差":
        print(max(v for v in row[4:] if isinstance(v, (int, float))))
PY
}

echo "| 组 | 定科 | 班 | 学生 | 选科分班 | 单独分班 | 比值 |"
echo "|---|---|---|---|---|---|---|"
while read -r g name k n elective minutes; do
  "$lczs" classdiv "$work/group$g.xlsx" --classes "$k" --minutes "$minutes" --max-diff -1 --yes \
    -o "$work/alone$g.xlsx" >/dev/null 2>&1
  alone=$(spread "$work/alone$g.xlsx")
  ratio=$(/usr/bin/python3 -c "print('%.2f' % ($elective / $alone if $alone else float('inf')))")
  printf '| %s | %s | %s | %s | %.3f | %.3f | %s |\n' "$g" "$name" "$k" "$n" "$elective" "$alone" "$ratio"
done < "$work/groups.txt"
