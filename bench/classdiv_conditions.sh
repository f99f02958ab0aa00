#!/bin/bash
# Class division with conditions against the same grade without them: the
# largest spread of class averages (the statistics block's 平均分两最之差)
# after the same time (the allowed difference 0, so both use all of it),
# and their ratio. The goal is a ratio of at most 2
# with 20 conditions of each kind on 1,000 students in 10 classes after 30 s.
#
#   bench/classdiv_conditions.sh [build-dir] [seconds] [seeds...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build-bench}
seconds=${2:-30}
shift $(( $# > 2 ? 2 : $# )) || true
seeds=("${@:-1 2 3}")
lczs=$build/lczs
minutes=$(/usr/bin/python3 -c "print($seconds / 60)")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

spread() {  # largest spread in the statistics block of a divided book
  /usr/bin/python3 - "$1" <<'PY'
import sys, openpyxl
ws = openpyxl.load_workbook(sys.argv[1], data_only=False).worksheets[0]
for row in ws.iter_rows(values_only=True):
    if row[2] == "平均分两最之差":
        print(max(v for v in row[4:] if isinstance(v, (int, float))))
PY
}
met() {  # the closing remark of the run
  grep -o "分班条件共.*" "$1" || true
}

printf '%-6s %-12s %-12s %-6s %s\n' seed without with ratio conditions
for seed in ${seeds[@]}; do
  for kind in plain cond; do
    flag=""; [ $kind = cond ] && flag=--conditions
    /usr/bin/python3 "$here/make_classdiv_book.py" "$work/$kind.xlsx" --seed "$seed" $flag
    "$lczs" classdiv "$work/$kind.xlsx" --classes 10 --minutes "$minutes" --max-diff 0 -o "$work/$kind-out.xlsx" --yes \
      > "$work/$kind.log" 2>&1
  done
  a=$(spread "$work/plain-out.xlsx"); b=$(spread "$work/cond-out.xlsx")
  printf '%-6s %-12.4f %-12.4f %-6.2f %s\n' "$seed" "$a" "$b" "$(/usr/bin/python3 -c "print($b / $a)")" "$(met "$work/cond.log")"
done
