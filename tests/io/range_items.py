"""What belongs to ranges, written and read by openpyxl for the io and cli tests.

  add BOOK SHEET       adds to sheet SHEET of BOOK (saved in place) data
                       validation, conditional formats of every rule type,
                       an autofilter with criteria, defined names in both
                       scopes, print area and print titles
  describe BOOK        prints them, one item a line, sheet by sheet
  compare A B [SHEETS] exits 1 (printing the differences) unless openpyxl
                       sees the same items in A and B; SHEETS (comma
                       separated) limits it to those sheets, OLD=NEW for a
                       sheet that a job renamed
"""
import sys

import openpyxl
from openpyxl.formatting.rule import (CellIsRule, ColorScaleRule, DataBarRule, FormulaRule, IconSetRule, Rule)
from openpyxl.styles import Border, Font, PatternFill, Side
from openpyxl.styles.differential import DifferentialStyle
from openpyxl.workbook.defined_name import DefinedName
from openpyxl.worksheet.datavalidation import DataValidation
from openpyxl.worksheet.filters import CustomFilter, CustomFilters, FilterColumn, Filters, Top10


def add(path, sheet):
    wb = openpyxl.load_workbook(path)
    ws = wb[sheet]
    index = wb.sheetnames.index(sheet)
    q = "'%s'" % sheet

    dvs = [
        DataValidation(type="list", formula1='"男,女"', allow_blank=True, showErrorMessage=True,
                       errorTitle="输入有误", error="只能填男或女", promptTitle="性别", prompt="请选择"),
        DataValidation(type="whole", operator="between", formula1="0", formula2="100", errorStyle="warning"),
        DataValidation(type="decimal", operator="greaterThanOrEqual", formula1="$H$1"),
        DataValidation(type="custom", formula1="ISNUMBER(D2)", showInputMessage=True),
        DataValidation(type="textLength", operator="lessThan", formula1="20", showDropDown=True),
    ]
    for dv, where in zip(dvs, ["B2:B30", "C2:D30", "E2:E30 G2:G30", "D2:D30", "A40:A45"]):
        ws.add_data_validation(dv)
        for part in where.split():
            dv.add(part)

    red = Font(color="FFFF0000", bold=True, italic=True, underline="single", strike=True)
    pink = PatternFill(bgColor="FFFFC7CE")
    boxed = Border(left=Side(style="thin", color="FF0000FF"), bottom=Side(style="double"))
    cf = ws.conditional_formatting
    cf.add("C2:C30", CellIsRule(operator="lessThan", formula=["60"], font=red, fill=pink, border=boxed))
    cf.add("C2:C30", CellIsRule(operator="between", formula=["60", "$H$2"], stopIfTrue=True,
                                fill=PatternFill(bgColor=openpyxl.styles.colors.Color(theme=5, tint=0.4))))
    cf.add("A2:E30", FormulaRule(formula=["$E2>AVERAGE($E$2:$E$30)"], font=Font(color="FF006100")))
    cf.add("D2:D30", ColorScaleRule(start_type="min", start_color="FFF8696B", mid_type="percentile",
                                    mid_value=50, mid_color="FFFFEB84", end_type="max", end_color="FF63BE7B"))
    cf.add("E2:E30", DataBarRule(start_type="num", start_value="$H$3", end_type="max", color="FF638EC6",
                                 showValue=False))
    cf.add("C2:C30 E2:E30", IconSetRule("3Arrows", "percent", [0, 33, 67], reverse=True))
    style = DifferentialStyle(font=Font(bold=True), numFmt=openpyxl.styles.numbers.NumberFormat(170, "0.0%"))
    for rule in [Rule(type="top10", rank=3, percent=True, dxf=style),
                 Rule(type="top10", rank=2, bottom=True, dxf=style),
                 Rule(type="aboveAverage", aboveAverage=False, dxf=style),
                 Rule(type="duplicateValues", dxf=style),
                 Rule(type="uniqueValues", dxf=style),
                 Rule(type="containsText", operator="containsText", text="缺",
                      formula=['NOT(ISERROR(SEARCH("缺",B2)))'], dxf=style),
                 Rule(type="beginsWith", operator="beginsWith", text="张", formula=['LEFT(B2,1)="张"'], dxf=style),
                 Rule(type="containsBlanks", formula=["LEN(TRIM(B2))=0"], dxf=style),
                 Rule(type="containsErrors", formula=["ISERROR(B2)"], dxf=style),
                 Rule(type="timePeriod", timePeriod="lastWeek",
                      formula=["AND(TODAY()-ROUNDDOWN(F2,0)>=(WEEKDAY(TODAY())),"
                               "TODAY()-ROUNDDOWN(F2,0)<(WEEKDAY(TODAY())+7))"], dxf=style)]:
        cf.add("B2:F30", rule)

    ws.auto_filter.ref = "A1:F30"
    ws.auto_filter.filterColumn.append(FilterColumn(colId=1, filters=Filters(filter=["张三", "李四"])))
    ws.auto_filter.filterColumn.append(FilterColumn(colId=2, customFilters=CustomFilters(
        _and=True, customFilter=[CustomFilter(operator="greaterThan", val="60"),
                                 CustomFilter(operator="lessThan", val="90")])))
    ws.auto_filter.filterColumn.append(FilterColumn(colId=4, top10=Top10(top=False, val=5)))

    ws.print_area = "A1:F30"
    ws.print_title_rows = "1:1"
    ws.print_title_cols = "A:B"
    wb.defined_names.append(DefinedName("全体学生%d" % index, attr_text="%s!$B$2:$B$30" % q, comment="姓名列"))
    wb.defined_names.append(DefinedName("本表分数", attr_text="%s!$C$2:$D$30" % q, localSheetId=index))
    wb.defined_names.append(DefinedName("及格线%d" % index, attr_text="60", hidden=True))
    wb.save(path)


def color(c):
    if c is None:
        return None
    if c.type == "rgb":
        return "rgb:" + str(c.rgb)[-6:].upper()
    if c.type == "theme":
        return "theme:%d:%g" % (c.theme, c.tint)
    if c.type == "indexed":
        return "indexed:%d" % c.indexed
    return "?"


def side(s):
    return None if s is None or s.style is None else (s.style, color(s.color))


def dxf(d):
    if d is None:
        return None
    f, fill, b = d.font, d.fill, d.border
    return (None if f is None else (f.b, f.i, f.strike, f.u, color(f.color)),
            None if fill is None else (fill.fill_type, color(fill.fgColor), color(fill.bgColor)),
            None if d.numFmt is None else d.numFmt.formatCode,
            None if b is None else (side(b.left), side(b.right), side(b.top), side(b.bottom)))


def cfvos(values):
    return [(v.type, v.val) for v in values or []]


def scale(rule):
    if rule.colorScale is not None:
        cs = rule.colorScale
        return ("colorScale", cfvos(cs.cfvo), [color(c) for c in cs.color])
    if rule.dataBar is not None:
        db = rule.dataBar
        return ("dataBar", cfvos(db.cfvo), color(db.color), db.showValue)
    if rule.iconSet is not None:
        i = rule.iconSet
        return ("iconSet", i.iconSet, cfvos(i.cfvo), i.reverse)
    return None


def items(ws, wb):
    out = []
    for dv in ws.data_validations.dataValidation:
        out.append(("validation", str(dv.sqref), dv.type, dv.operator, dv.formula1, dv.formula2, dv.allow_blank,
                    dv.showErrorMessage, dv.showInputMessage, dv.showDropDown, dv.errorStyle, dv.errorTitle,
                    dv.error, dv.promptTitle, dv.prompt))
    for cf in ws.conditional_formatting:
        for r in cf.rules:
            out.append(("format", str(cf.sqref), r.type, r.priority, r.operator, tuple(r.formula or ()), r.stopIfTrue,
                        r.text, r.rank, r.percent, r.bottom, r.aboveAverage, r.timePeriod, dxf(r.dxf), scale(r)))
    af = ws.auto_filter
    if af.ref:
        out.append(("filter", af.ref))
        for fc in af.filterColumn:
            crit = None
            if fc.filters is not None:
                crit = ("filters", tuple(fc.filters.filter))
            elif fc.customFilters is not None:
                crit = ("custom", fc.customFilters._and,
                        tuple((c.operator, c.val) for c in fc.customFilters.customFilter))
            elif fc.top10 is not None:
                crit = ("top10", fc.top10.top, fc.top10.val)
            out.append(("filter column", fc.colId, crit))
    out.append(("print area", ws.print_area))
    out.append(("print titles", ws.print_title_rows, ws.print_title_cols))
    index = wb.worksheets.index(ws)
    for n in wb.defined_names.definedName:
        if n.localSheetId == index:
            out.append(("sheet name", n.name, n.attr_text, n.hidden, n.comment))
    return sorted(out, key=repr)


def describe(path, sheets=None):
    wb = openpyxl.load_workbook(path)
    out = {"book names": sorted((n.name, n.attr_text, n.hidden, n.comment)
                                for n in wb.defined_names.definedName if n.localSheetId is None)}
    for ws in wb.worksheets:
        if sheets is None or ws.title in sheets:
            out[ws.title] = items(ws, wb)
    return out


def renamed(described, old, new):
    """What A holds as it reads once sheet OLD is called NEW."""
    text = repr(described)
    for name in ("'%s'!" % old, "%s!" % old):
        text = text.replace(name, "%s!" % (new if new.isidentifier() else "'%s'" % new))
    out = eval(text)
    if old in out:
        out[new] = out.pop(old)
    return out


def compare(a, b, sheets):
    pairs = [s.split("=") * (1 if "=" in s else 2) for s in sheets] if sheets else None
    da = describe(a, [p[0] for p in pairs] if pairs else None)
    db = describe(b, [p[1] for p in pairs] if pairs else None)
    for old, new in pairs or []:
        if old != new:
            da = renamed(da, old, new)
    bad = []
    for key in sorted(set(da) | set(db)):
        x, y = da.get(key, []), db.get(key, [])
        for item in x:
            if item not in y:
                bad.append("%s: only in %s: %r" % (key, a, item))
        for item in y:
            if item not in x:
                bad.append("%s: only in %s: %r" % (key, b, item))
    for line in bad:
        print("DIFF", line)
    return 1 if bad else 0


if __name__ == "__main__":
    cmd = sys.argv[1]
    if cmd == "add":
        add(sys.argv[2], sys.argv[3])
    elif cmd == "describe":
        for key, value in describe(sys.argv[2]).items():
            for item in value:
                print(key, item)
    elif cmd == "compare":
        sys.exit(compare(sys.argv[2], sys.argv[3], sys.argv[4].split(",") if len(sys.argv) > 4 else None))
    else:
        sys.exit(2)
