#!/usr/bin/env bash
# Checks that an exam report with its figures and charts opens in another
# spreadsheet program: installs LibreOffice Calc (headless) if missing,
# builds `lczs`, analyses a generated grade of 240 students with a
# 分析设置 sheet and renders the report to PDF. Exits non-zero when any
# step fails or the PDF is missing. Kept out of the test command because
# installing LibreOffice takes minutes.
#   LCZS_RENDER_PNG=FILE  also writes the first page of the 图表 sheet as a
#                         PNG picture (installs poppler-utils for it).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-missing.sh libreoffice-calc-nogui python3-openpyxl
bash scripts/setup.sh
build=${LCZS_RENDER_BUILD:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DLCZS_TESTS=OFF >/dev/null
cmake --build "$build" --target lczs -j"$(nproc)" >/dev/null
lczs=$(find "$build" -path "$build/CMakeFiles" -prune -o -type f -name lczs -perm -u+x -print | head -n 1)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 - "$work/成绩.xlsx" <<'PY'
import random, sys
import openpyxl
random.seed(17)
book = openpyxl.Workbook()
ws = book.active
ws.title = "成绩"
subjects = [("语文", 150), ("数学", 150), ("英语", 150), ("物理", 100)]
ws.append(["班级", "学号", "姓名"] + [s for s, _ in subjects])
for i in range(240):
    row = [101 + i % 6, i // 6 + 1, "学生%d" % (i + 1)]
    for _, full in subjects:
        row.append(None if random.random() < 0.02 else round(min(full, max(0, random.gauss(0.68 * full, 0.15 * full))) * 2) / 2)
    ws.append(row)
settings = book.create_sheet("分析设置")
settings.append(["科目", "满分", "优秀线", "及格线", "低分线", "分数段宽"])
settings.append(["语文", 150, 120, 90, 60, 15])
settings.append(["物理", 100])
book.save(sys.argv[1])
PY
"$lczs" exam "$work/成绩.xlsx" --cohort 2001 --grade G1 --save-name 期中成绩分析 --yes >/dev/null
report="$work/期中成绩分析.xlsx"
soffice --headless --norestore "-env:UserInstallation=file://$work/profile" \
  --convert-to pdf --outdir "$work" "$report" >"$work/soffice.log" 2>&1 || {
  cat "$work/soffice.log" >&2
  exit 1
}
pdf="$work/期中成绩分析.pdf"
if [ ! -s "$pdf" ]; then
  echo "render-report: LibreOffice made no PDF" >&2
  cat "$work/soffice.log" >&2
  exit 1
fi
echo "render-report: $(stat -c %s "$pdf") bytes of PDF from $(basename "$report")"
if [ -n "${LCZS_RENDER_PNG:-}" ]; then
  # Only the chart sheet: a copy of the report that keeps it alone.
  /usr/bin/python3 - "$report" "$work/图表.xlsx" <<'PY'
import sys
import openpyxl
book = openpyxl.load_workbook(sys.argv[1])
for ws in list(book.worksheets):
    if ws.title != "图表":
        book.remove(ws)
book.save(sys.argv[2])
PY
  bash scripts/install-missing.sh poppler-utils
  soffice --headless --norestore "-env:UserInstallation=file://$work/profile" \
    --convert-to pdf --outdir "$work" "$work/图表.xlsx" >>"$work/soffice.log" 2>&1
  pdftoppm -png -r 80 -f 1 -l 1 -singlefile "$work/图表.pdf" "$work/图表"
  cp "$work/图表.png" "$LCZS_RENDER_PNG"
  echo "render-report: picture in $LCZS_RENDER_PNG"
fi
