"""Prints the charts of an .xlsx as openpyxl reads them, one line per chart
and per series, so a test can compare what another reader makes of them."""
import sys

import openpyxl


def text(title):
    if title is None or title.tx is None or title.tx.rich is None:
        return ""
    return "".join(r.t for p in title.tx.rich.p for r in (p.r or []))


def anchor(chart):
    a = chart.anchor
    return "%d,%d-%d,%d" % (a._from.row + 1, a._from.col + 1, a.to.row, a.to.col)


book = openpyxl.load_workbook(sys.argv[1])
for ws in book.worksheets:
    for chart in ws._charts:
        parts = list(getattr(chart, "_charts", [chart]))
        kinds = "+".join(type(c).__name__ for c in parts)
        print("%s: %s '%s' at %s axes '%s' '%s'" % (ws.title, kinds, text(chart.title), anchor(chart),
                                                    text(chart.x_axis.title), text(chart.y_axis.title)))
        for c in parts:
            for s in c.series:
                print("  %s %s by %s = %s" % (s.tx.v, s.val.numRef.f, s.cat.strRef.f,
                                              [p.v for p in s.val.numRef.numCache.pt]))
