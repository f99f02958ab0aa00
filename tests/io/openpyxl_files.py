"""openpyxl as an independent writer and reader of .xlsx for the io tests.

  make OUT             writes a workbook using everything the model holds
  compare A B          exits 1 (printing the differences) unless openpyxl sees
                       the same in A and B
  check-sample FILE    checks what openpyxl sees in the sample workbook our
                       writer made (tests/io/xlsx_roundtrip_test.cpp)
  attach BOOK          gives each cell under a 姓名 heading a comment holding
                       its value, each under 学号 or 统一学号 a link naming
                       its value; a sheet without these headings gets a
                       large comment and a link to the first sheet
  check-attached A B   exits 1 unless every comment and link in B (A after
                       a job) stands on the cell it was given to in A, each
                       of A's still there once on the sheet it was on, and
                       the headingless sheets' ones unchanged
"""
import re
import sys
import zipfile
from xml.etree import ElementTree

import openpyxl
from openpyxl.comments import Comment
from openpyxl.styles import Alignment, Border, Font, PatternFill, Protection, Side
from openpyxl.worksheet.pagebreak import Break


def make(path):
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "成绩"
    ws.append(["学号", "姓名", "语文", "数学", "总分"])
    rows = [(1001, "张三", 88.5, 92, None), (1002, "李四", 75, 60.25, None), (1003, "王五", 0, 100, None)]
    for r in rows:
        ws.append(list(r))
    for i in range(2, 5):
        ws.cell(i, 5).value = "=SUM(C%d:D%d)" % (i, i)
    ws["F1"] = True
    ws["F2"] = False
    ws["F3"] = "#N/A"
    ws["F4"] = 1e-7
    ws["G1"] = "带 空格 "
    ws["A1"].font = Font(name="黑体", size=14, bold=True, color="FFFF0000")
    ws["B1"].font = Font(italic=True, strike=True, vertAlign="superscript", color=openpyxl.styles.colors.Color(indexed=10))
    ws["C1"].font = Font(underline="double", vertAlign="subscript", color=openpyxl.styles.colors.Color(theme=4))
    ws["D1"].font = Font(underline="single", size=10.5)
    ws["A2"].fill = PatternFill("solid", fgColor="FFFFFF00")
    ws["B2"].fill = PatternFill("gray125", fgColor="FF808080", bgColor="FF00B050")
    thin = Side(style="thin")
    ws["C2"].border = Border(left=thin, right=thin, top=Side(style="medium", color="FFFF0000"),
                             bottom=Side(style="double"))
    ws["D2"].border = Border(diagonal=Side(style="dashed", color="FF0000FF"), diagonalUp=True, diagonalDown=True)
    ws["E2"].border = Border(left=Side(style="hair"), right=Side(style="mediumDashDot"),
                             top=Side(style="dotted"), bottom=Side(style="slantDashDot"))
    ws["A3"].alignment = Alignment(horizontal="center", vertical="center", wrap_text=True)
    ws["B3"].alignment = Alignment(horizontal="right", indent=2, shrink_to_fit=True)
    ws["C3"].alignment = Alignment(text_rotation=45, vertical="top")
    ws["D3"].alignment = Alignment(text_rotation=120)  # -30 degrees
    ws["E3"].alignment = Alignment(text_rotation=255, horizontal="centerContinuous")
    ws["C2"].number_format = "0.00"
    ws["D2"].number_format = "0.00%"
    ws["C3"].number_format = "0.0"
    ws["D3"].number_format = "yyyy-mm-dd"
    ws["C4"].number_format = "#,##0"
    ws["A4"].protection = Protection(locked=False, hidden=True)
    ws.merge_cells("A6:C7")
    ws["A6"] = "合并的标题"
    ws["A6"].alignment = Alignment(horizontal="center")
    ws.column_dimensions["A"].width = 12.7109375
    ws.column_dimensions["B"].width = 20
    ws.column_dimensions["C"].width = 0.42578125
    ws.column_dimensions["H"].hidden = True
    ws.row_dimensions[1].height = 30
    ws.row_dimensions[2].height = 15
    ws.row_dimensions[8].hidden = True
    ws.row_breaks.append(Break(id=4))
    ws.row_breaks.append(Break(id=10))
    ws.sheet_view.selection[0].activeCell = "B2"
    ws.sheet_view.selection[0].sqref = "B2:D4"

    ws["N1"].font = Font(name="宋体", charset=134, color=openpyxl.styles.colors.Color(theme=4, tint=0.3999755851924192))
    ws["N1"] = "着色"
    # View, outline and page setup.
    ws.freeze_panes = "B2"
    ws.sheet_view.zoomScale = 130
    ws.sheet_view.showGridLines = False
    ws.sheet_properties.tabColor = "FF00B050"
    for r in (2, 3, 4):
        ws.row_dimensions[r].outline_level = 1
    ws.column_dimensions.group("C", "D", outline_level=2, hidden=False)
    ws.sheet_properties.outlinePr.summaryBelow = False
    ws.page_setup.orientation = "landscape"
    ws.page_setup.paperSize = 9
    ws.page_setup.fitToWidth = 1
    ws.page_setup.fitToHeight = 0
    ws.sheet_properties.pageSetUpPr.fitToPage = True
    ws.page_setup.firstPageNumber = 3
    ws.page_setup.useFirstPageNumber = True
    ws.page_setup.blackAndWhite = True
    ws.page_margins.left = 0.25
    ws.page_margins.top = 1.0
    ws.print_options.horizontalCentered = True
    ws.oddHeader.center.text = "&A 成绩"
    ws.oddFooter.right.text = "第 &P 页"

    ws.protection.sheet = True
    ws.protection.password = "abc"
    ws.protection.formatColumns = False
    wb.security = openpyxl.workbook.protection.WorkbookProtection(lockStructure=True, workbookPassword="xyz")
    wb.properties.title = "期中成绩"
    wb.properties.creator = "教务处"

    hidden = wb.create_sheet("隐藏")
    hidden["A1"] = "看不见"
    hidden.sheet_state = "hidden"
    very = wb.create_sheet("深藏")
    very["A1"] = 1
    very.sheet_state = "veryHidden"

    third = wb.create_sheet("第三 Sheet")
    third["C3"] = 3.25
    third["C4"] = "=C3*2"
    third.sheet_view.selection[0].activeCell = "D5"
    third.sheet_view.selection[0].sqref = "D5"
    third.sheet_view.zoomScale = 85
    third.sheet_view.rightToLeft = True
    third.sheet_view.showRowColHeaders = False
    third.sheet_properties.tabColor = openpyxl.styles.colors.Color(theme=5, tint=-0.25)
    third.page_setup.scale = 75
    third.page_setup.orientation = "portrait"
    # What belongs to cells: comments with authors and box sizes, links out
    # and to places in the workbook, on cells with and without values.
    ws["B2"].comment = Comment("李四缺考过一次", "班主任", width=200, height=100)
    ws["Z40"].comment = Comment("空单元格上的批注\n第二行", "教务处")
    ws["B3"].hyperlink = "https://example.com/学生?id=1003"
    ws["B3"].hyperlink.tooltip = "学籍"
    ws["B4"].hyperlink = openpyxl.worksheet.hyperlink.Hyperlink(ref="B4", location="'第三 Sheet'!C3", display="看第三页")
    third["D5"].comment = Comment("third", "x")
    third["A1"].hyperlink = "mailto:office@example.com"
    wb.active = 3
    ws.sheet_view.tabSelected = False
    third.sheet_view.tabSelected = True
    wb.save(path)


def color(c):
    if c is None:
        return "auto"
    if c.type == "rgb":
        v = c.rgb if isinstance(c.rgb, str) else "FF000000"
        return "rgb:" + v[-6:].upper()
    if c.type == "indexed":
        return "auto" if c.indexed >= 64 else "indexed:%d" % c.indexed
    if c.type == "theme":
        return "theme:%d:%g" % (c.theme, c.tint)
    if c.type == "auto" or c.auto:
        return "auto"
    return "?"


def side(s):
    if s is None or s.style is None:
        return None
    return (s.style, color(s.color))


def style(cell, default_font):
    f, fi, b, a, p = cell.font, cell.fill, cell.border, cell.alignment, cell.protection
    fill = None
    if fi is not None and fi.fill_type not in (None, "none"):
        # A solid fill shows its foreground colour only.
        fill = (fi.fill_type, color(fi.fgColor), None if fi.fill_type == "solid" else color(fi.bgColor))
    return {
        "font": (f.name or default_font, float(f.sz or 11), bool(f.b), bool(f.i), bool(f.strike), f.vertAlign, f.u, color(f.color),
                 f.charset),
        "fill": fill,
        "border": (side(b.left), side(b.right), side(b.top), side(b.bottom), side(b.diagonal),
                   bool(b.diagonalUp), bool(b.diagonalDown)),
        "align": (a.horizontal or "general", a.vertical or "bottom", bool(a.wrap_text), bool(a.shrink_to_fit),
                  int(a.indent or 0), int(a.text_rotation or 0)),
        "numfmt": cell.number_format,
        "protect": (p.locked is not False, bool(p.hidden)),
    }




def pixels(w):
    return round(w * 7)


XL = "{urn:schemas-microsoft-com:office:excel}"


def comment_boxes(path):
    """(sheet index, cell) -> (width pt, height pt, shown) from the legacy drawings."""
    boxes = {}
    with zipfile.ZipFile(path) as z:
        names = z.namelist()
        for n in names:
            m = re.match(r"xl/worksheets/_rels/sheet(\d+)\.xml\.rels$", n)
            if not m:
                continue
            rels = ElementTree.fromstring(z.read(n))
            for target in [r.get("Target") for r in rels if r.get("Type").endswith("/vmlDrawing")]:
                part = target[1:] if target.startswith("/") else "xl/" + target.replace("../", "")
                vml = ElementTree.fromstring(z.read(part))
                for shape in vml.iter("{urn:schemas-microsoft-com:vml}shape"):
                    data = shape.find(XL + "ClientData")
                    style = shape.get("style")
                    size = {}
                    for k in ("width", "height"):
                        v = re.search(k + r":([0-9.]+)(pt|px)", style)
                        size[k] = round(float(v.group(1)) * (0.75 if v.group(2) == "px" else 1), 2)
                    row, col = int(data.find(XL + "Row").text), int(data.find(XL + "Column").text)
                    shown = "visibility:visible" in style or data.find(XL + "Visible") is not None
                    boxes[(int(m.group(1)), openpyxl.utils.get_column_letter(col + 1) + str(row + 1))] = (
                        size["width"], size["height"], shown)
    return boxes


def describe(path):
    wb = openpyxl.load_workbook(path)
    boxes = comment_boxes(path)
    default_font = wb._fonts[0].name
    sec = wb.security
    out = {"sheets": [(ws.title, ws.sheet_state) for ws in wb.worksheets],
           "active": wb.index(wb.active),
           "book": (sec.lockStructure if sec else None, sec.workbookPassword if sec else None,
                    wb.properties.title, wb.properties.creator)}
    for ws in wb.worksheets:
        cells = {}
        for row in ws.iter_rows():
            for c in row:
                if c.value is None and not c.has_style:
                    continue
                v, t = c.value, c.data_type
                if isinstance(v, float) and v.is_integer():
                    v = int(v)
                # repr: a number must come back as the same double.
                cells[c.coordinate] = (repr(v), t, style(c, default_font))
        notes = {}
        for row in ws.iter_rows():
            for c in row:
                if c.comment is not None:
                    notes[c.coordinate] = ("comment", c.comment.author, c.comment.text,
                                           boxes.get((wb.worksheets.index(ws) + 1, c.coordinate)))
                if c.hyperlink is not None:
                    h = c.hyperlink
                    notes[c.coordinate + " link"] = ("link", h.target, h.location, h.tooltip, h.display)
        widths = {}
        for key, d in ws.column_dimensions.items():
            for col in range(d.min or 1, (d.max or d.min or 1) + 1):
                widths[col] = (pixels(d.width) if d.width else None, bool(d.hidden))
        heights = {r: (d.height, bool(d.hidden)) for r, d in ws.row_dimensions.items()
                   if d.height is not None or d.hidden}
        # The selection of the active pane.
        pane = ws.sheet_view.pane.activePane if ws.sheet_view.pane is not None else None
        sels = [x for x in ws.sheet_view.selection if x.pane == pane] or ws.sheet_view.selection
        sel = sels[0] if sels else None
        out[ws.title] = {
            "cells": cells,
            "notes": notes,
            "widths": {k: v for k, v in widths.items() if v != (None, False) and v != (64, False)},
            "heights": heights,
            "merges": sorted(str(m) for m in ws.merged_cells.ranges),
            "breaks": sorted(b.id for b in ws.row_breaks.brk),
            "selection": (sel.activeCell, sel.sqref) if sel else None,
            "protection": (ws.protection.sheet, ws.protection.password, ws.protection.formatColumns),
            "view": (ws.freeze_panes, ws.sheet_view.zoomScale or 100, ws.sheet_view.showGridLines is not False,
                     ws.sheet_view.showRowColHeaders is not False, bool(ws.sheet_view.rightToLeft),
                     color(ws.sheet_properties.tabColor) if ws.sheet_properties.tabColor is not None else None),
            "outline": ({r: d.outline_level for r, d in ws.row_dimensions.items() if d.outline_level},
                        {c: d.outline_level for c, d in ws.column_dimensions.items() if d.outline_level},
                        ws.sheet_properties.outlinePr.summaryBelow is not False if ws.sheet_properties.outlinePr else True),
            "page": (ws.page_setup.orientation or "portrait", ws.page_setup.paperSize, ws.page_setup.scale or 100,
                     bool(ws.sheet_properties.pageSetUpPr and ws.sheet_properties.pageSetUpPr.fitToPage),
                     ws.page_setup.fitToWidth if ws.page_setup.fitToWidth is not None else 1,
                     ws.page_setup.fitToHeight if ws.page_setup.fitToHeight is not None else 1,
                     ws.page_setup.firstPageNumber if ws.page_setup.useFirstPageNumber else None,
                     bool(ws.page_setup.blackAndWhite),
                     tuple(float(getattr(ws.page_margins, m)) for m in ("left", "right", "top", "bottom", "header", "footer")),
                     bool(ws.print_options.horizontalCentered),
                     ws.oddHeader.center.text, ws.oddFooter.right.text),
        }
    return out


def compare(a, b):
    da, db = describe(a), describe(b)
    bad = []
    for key in da:
        if key in ("sheets", "active", "book"):
            if da[key] != db[key]:
                bad.append("%s: %r != %r" % (key, da[key], db[key]))
            continue
        sa, sb = da[key], db.get(key)
        if sb is None:
            bad.append("sheet %s missing" % key)
            continue
        for field in sa:
            if field in ("cells", "notes"):
                for coord in sorted(set(sa[field]) | set(sb[field])):
                    if sa[field].get(coord) != sb[field].get(coord):
                        bad.append("%s!%s: %r != %r" % (key, coord, sa[field].get(coord), sb[field].get(coord)))
            elif field == "heights":
                ha = {r: v for r, v in sa["heights"].items()}
                hb = {r: v for r, v in sb["heights"].items()}
                for r in set(ha) | set(hb):
                    x, y = ha.get(r, (None, False)), hb.get(r, (None, False))
                    # A row written without a height of its own shows the default.
                    if (x[0] is None) != (y[0] is None) or (x[0] is not None and abs(x[0] - y[0]) > 1e-3) or x[1] != y[1]:
                        bad.append("%s row %d: %r != %r" % (key, r, x, y))
            elif sa[field] != sb[field]:
                bad.append("%s %s: %r != %r" % (key, field, sa[field], sb[field]))
    for line in bad:
        print("DIFF", line)
    return 1 if bad else 0


def check_sample(path):
    wb = openpyxl.load_workbook(path)
    problems = []

    def expect(what, got, want):
        if got != want:
            problems.append("%s: got %r, want %r" % (what, got, want))

    expect("sheets", wb.sheetnames, ["成绩表", "隐藏", "Sheet (2)", "深藏"])
    expect("very hidden", wb["深藏"].sheet_state, "veryHidden")
    expect("1904", wb.epoch.year, 1904)
    expect("exact numbers", [ws.value for ws in wb["成绩表"][20][:5]],
           [0.30000000000000004, 63.699999999999996, 5e-324, 1.7976931348623157e308, -0.1])
    expect("frozen", wb["成绩表"].freeze_panes, "B2")
    expect("footer", wb["成绩表"].oddFooter.center.text, "第 &P 页")
    expect("active", wb.index(wb.active), 2)
    expect("hidden", wb["隐藏"].sheet_state, "hidden")
    ws = wb["成绩表"]
    expect("A1", ws["A1"].value, "姓名")
    expect("A1 font", (ws["A1"].font.name, ws["A1"].font.sz, ws["A1"].font.b, ws["A1"].font.color.rgb),
           ("黑体", 14, True, "FFFF0000"))
    expect("B2", ws["B2"].value, 88.5)
    expect("B2 format", ws["B2"].number_format, "0.00")
    expect("C2 format", ws["C2"].number_format, "0.00%")
    expect("C1 preserved spaces", ws["C1"].value, "  leading and trailing  ")
    expect("B5 formula", ws["B5"].value, "=SUM(B2:B3)")
    expect("A4", ws["A4"].value, True)
    expect("C4", (ws["C4"].value, ws["C4"].data_type), ("#DIV/0!", "e"))
    expect("merges", sorted(str(m) for m in ws.merged_cells.ranges), ["A10:C11", "A12:B12"])
    expect("breaks", [b.id for b in ws.row_breaks.brk], [4, 8, 39])
    expect("A width px", round(ws.column_dimensions["A"].width * 7), 89)
    expect("row 1 height", ws.row_dimensions[1].height, 30)
    expect("row 9 hidden", ws.row_dimensions[9].hidden, True)
    expect("D1 wrap", ws["B1"].alignment.wrap_text, True)
    b = ws["B3"].border
    expect("B3 diagonal", (b.diagonalUp, b.diagonalDown, b.diagonal.style), (True, True, "dashed"))
    expect("B3 fill", (ws["B3"].fill.fill_type, ws["B3"].fill.fgColor.rgb, ws["B3"].fill.bgColor.rgb),
           ("solid", "FF00B050", "FF123456"))
    expect("selection", (ws.sheet_view.selection[0].activeCell, ws.sheet_view.selection[0].sqref), ("D5", "B2:D5"))
    for p in problems:
        print("PROBLEM", p)
    return 1 if problems else 0


def attach(path):
    wb = openpyxl.load_workbook(path)
    for ws in wb.worksheets:
        headings = {c.value: c.column for c in ws[1]}
        named = [headings[h] for h in ("姓名",) if h in headings]
        numbered = [headings[h] for h in ("学号", "统一学号") if h in headings]
        for col in named:
            for (c,) in ws.iter_rows(min_row=2, min_col=col, max_col=col):
                if c.value is not None:
                    c.comment = Comment(str(c.value), "班主任", width=200, height=100)
        for col in numbered[:1]:
            for (c,) in ws.iter_rows(min_row=2, min_col=col, max_col=col):
                if c.value is not None:
                    c.hyperlink = "https://example.com/%s" % c.value
        if not named and not numbered:
            ws["C3"].comment = Comment("说明页的批注", "教务处", width=300, height=150)
            ws["C4"].hyperlink = openpyxl.worksheet.hyperlink.Hyperlink(
                ref="C4", location="'%s'!A1" % wb.worksheets[0].title, tooltip="回到第一页")
    wb.save(path)


def value_text(v):
    if isinstance(v, float) and v.is_integer():
        v = int(v)
    return str(v)


def check_attached(orig, result):
    a, b = describe(orig), describe(result)
    bad = []
    def shown(cell):
        # openpyxl shows a link's target as the value of a cell without one.
        return None if cell.hyperlink is not None and cell.value == cell.hyperlink.target else cell.value

    for name in [t for t, _ in b["sheets"]]:
        ws = openpyxl.load_workbook(result)[name]
        for key, item in b[name]["notes"].items():
            cell = ws[key.split()[0]]
            # Clearing the contents keeps what belongs to a cell, as in the
            # application: a scratch row a job copied a row to and cleared
            # keeps that row's items, on cells without values.
            if shown(cell) is None and all(shown(c) is None for c in ws[cell.row]):
                continue
            if item[0] == "comment" and (item[1] == "班主任") and (item[2], item[3]) != (value_text(cell.value), (150.0, 75.0, False)):
                bad.append("%s!%s: comment %r, box %r on %r" % (name, key, item[2], item[3], cell.value))
            if item[0] == "link" and item[1] and item[1].startswith("https://example.com/") and \
                    item[1] != "https://example.com/%s" % value_text(cell.value):
                bad.append("%s!%s: link %r on %r" % (name, key, item[1], cell.value))
    # Every item is still somewhere; on a sheet no job step touches, exactly
    # as it was.
    left = {repr(item) for name, _ in b["sheets"] for item in b[name]["notes"].values()}
    for name, _ in a["sheets"]:
        for key, item in a[name]["notes"].items():
            if repr(item) not in left:
                bad.append("%s!%s: %r lost" % (name, key, item))
        if name in b and not any(c.value in ("姓名", "学号", "统一学号") for c in openpyxl.load_workbook(orig)[name][1]):
            if a[name]["notes"] != b[name]["notes"]:
                bad.append("%s: %r != %r" % (name, a[name]["notes"], b[name]["notes"]))
    for line in bad:
        print("MISPLACED", line)
    return 1 if bad else 0


if __name__ == "__main__":
    cmd = sys.argv[1]
    if cmd == "make":
        make(sys.argv[2])
        sys.exit(0)
    if cmd == "compare":
        sys.exit(compare(sys.argv[2], sys.argv[3]))
    if cmd == "check-sample":
        sys.exit(check_sample(sys.argv[2]))
    if cmd == "attach":
        attach(sys.argv[2])
        sys.exit(0)
    if cmd == "check-attached":
        sys.exit(check_attached(sys.argv[2], sys.argv[3]))
    sys.exit(2)
