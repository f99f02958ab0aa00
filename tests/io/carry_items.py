"""Everything a user's workbook may hold, item by item, for the tests that a
save, and each job run on the workbook, keep it.

  make JOB OUT     writes a workbook for JOB (classdiv, exam, proficiency or
                   plain): the job's input sheet first and active, then the
                   sheet 资料 holding every item, and the workbook's own items.
                   An OUT ending in .xlsm holds a macro project too.
  compare A B      exits 1, printing each item that differs, unless B holds
                   every item of A as A has it

ITEMS is the table: each entry names an item, puts it into the workbook
(through openpyxl, or into the package afterwards for what openpyxl cannot
write) and reads it back. New kinds of content join by adding an entry.
"""
import hashlib
import io
import posixpath
import re
import sys
import zipfile

import openpyxl
from openpyxl.chart import BarChart, Reference
from openpyxl.drawing.image import Image
from openpyxl.worksheet.properties import PageSetupProperties

SHEET = "资料"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
MACRO_REL = "http://schemas.microsoft.com/office/2006/relationships/vbaProject"

INPUTS = {
    "classdiv": [["统一学号", "班级", "姓名", "性别", "语文", "数学", "英语", "总分"]] +
                [[i, None, "学生%d" % i, "男" if i % 2 else "女", 60 + (i * 7) % 40, 55 + (i * 11) % 45,
                  70 + (i * 5) % 30, 185 + (i * 7) % 40 + (i * 11) % 45 + (i * 5) % 30] for i in range(1, 13)],
    "exam": [["班级", "学号", "姓名", "语文", "数学", "英语"]] +
            [[1 + i % 2, i, "学生%d" % i, 60 + i * 3, 90 - i * 2, 70 + (i * 7) % 20] for i in range(1, 11)],
    "proficiency": [["班级", "学号", "姓名", "语文", "数学"]] +
                   [[301 + i % 2, i, "学生%d" % i, "ABCDE"[i % 5], "B"] for i in range(1, 7)],
    "plain": [["说明"]],
}


# ---- The package as files see it -------------------------------------------------

class Package:
    def __init__(self, path):
        self.zip = zipfile.ZipFile(path)
        self.names = {n.lower(): n for n in self.zip.namelist()}

    def read(self, name):
        real = self.names.get(name.lstrip("/").lower())
        return self.zip.read(real) if real else None

    def rels(self, part):
        d, f = posixpath.split(part)
        text = self.read(posixpath.join(d, "_rels", f + ".rels") if part else "_rels/.rels")
        out = []
        for m in re.finditer(rb"<Relationship\b([^>]*)/?>", text or b""):
            a = dict(re.findall(rb'(\w+)="([^"]*)"', m.group(1)))
            target = a[b"Target"].decode()
            if a.get(b"TargetMode") != b"External":
                target = target[1:] if target.startswith("/") else posixpath.normpath(posixpath.join(d, target))
            out.append((a[b"Id"].decode(), a[b"Type"].decode(), target))
        return out

    def linked(self, part, type_suffix):
        return [t for _, ty, t in self.rels(part) if ty.endswith(type_suffix)]

    def workbook(self):
        return self.linked("", "/officeDocument")[0]

    def sheet_part(self, title):
        wb = self.workbook()
        xml = self.read(wb).decode()
        for m in re.finditer(r"<sheet\b([^>]*)/>", xml):
            attrs = dict(re.findall(r'([\w:]+)="([^"]*)"', m.group(1)))
            if attrs.get("name") == title:
                rid = next(v for k, v in attrs.items() if k.endswith(":id"))
                return next(t for i, _, t in self.rels(wb) if i == rid)
        return None


def digest(data):
    return hashlib.sha256(data).hexdigest()[:16] if data is not None else None


# ---- Items ----------------------------------------------------------------------------
# Each: (name, put(wb, ws), read(wb, ws, pkg)). put may return a function that
# edits the package afterwards: edit(files) with files a dict name -> bytes.

def put_image(wb, ws):
    from PIL import Image as Picture
    data = io.BytesIO()
    Picture.new("RGB", (8, 8), (200, 30, 30)).save(data, "PNG")
    data.seek(0)
    ws.add_image(Image(data), "F2")


def put_chart(wb, ws):
    chart = BarChart()
    chart.title = "平方"
    chart.add_data(Reference(ws, min_col=2, min_row=1, max_row=5), titles_from_data=False)
    ws.add_chart(chart, "F12")


def drawn(pkg, sheet, kind):
    """The bytes of what the sheet's drawing links to (images, charts), in order."""
    out = []
    for drawing in pkg.linked(sheet, "/drawing"):
        out += [digest(pkg.read(t)) for t in pkg.linked(drawing, "/" + kind)]
    return out


def put_printer_settings(wb, ws):
    def edit(files, part):
        files["xl/printerSettings/printerSettings1.bin"] = bytes(range(256)) * 4
        rels = posixpath.join(posixpath.dirname(part), "_rels", posixpath.basename(part) + ".rels")
        files[rels] = files[rels].replace(
            b"</Relationships>",
            b'<Relationship Id="rIdPrinter" Type="' + REL.encode() + b'printerSettings" '
            b'Target="/xl/printerSettings/printerSettings1.bin"/></Relationships>')
        files[part] = re.sub(rb"<pageSetup\b", b'<pageSetup xmlns:r="' + REL[:-1].encode() + b'" r:id="rIdPrinter"',
                             files[part], count=1)
        add_default(files, "bin", "application/vnd.openxmlformats-officedocument.spreadsheetml.printerSettings")
    ws.page_setup.orientation = "landscape"
    return edit


def printer_settings(pkg, sheet):
    xml = pkg.read(sheet)
    m = re.search(rb'<pageSetup\b[^>]*?:id="([^"]+)"', xml)
    if not m:
        return None
    return [digest(pkg.read(t)) for i, _, t in pkg.rels(sheet) if i == m.group(1).decode()]


def add_default(files, ext, content_type):
    types = files["[Content_Types].xml"]
    if b'Extension="%s"' % ext.encode() not in types:
        files["[Content_Types].xml"] = types.replace(
            b"<Override", b'<Default Extension="%s" ContentType="%s"/><Override' % (ext.encode(), content_type.encode()), 1)


def add_workbook_link(files, rid, type_, target):
    name = "xl/_rels/workbook.xml.rels"
    files[name] = files[name].replace(
        b"</Relationships>", b'<Relationship Id="%s" Type="%s" Target="%s"/></Relationships>' %
        (rid.encode(), type_.encode(), target.encode()))


def put_custom_xml(wb, ws):
    def edit(files, part):
        files["customXml/item1.xml"] = "<成绩单 学期=\"上\"/>".encode()
        files["customXml/itemProps1.xml"] = (
            b'<ds:datastoreItem ds:itemID="{6A1B0C2D-0000-4000-8000-000000000001}" '
            b'xmlns:ds="http://schemas.openxmlformats.org/officeDocument/2006/customXml"/>')
        files["customXml/_rels/item1.xml.rels"] = (
            b'<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
            b'<Relationship Id="rId1" Type="' + REL.encode() + b'customXmlProps" Target="itemProps1.xml"/>'
            b'</Relationships>')
        files["[Content_Types].xml"] = files["[Content_Types].xml"].replace(
            b"</Types>", b'<Override PartName="/customXml/itemProps1.xml" '
            b'ContentType="application/vnd.openxmlformats-officedocument.customXmlProperties+xml"/></Types>')
        add_workbook_link(files, "rIdCustom", REL + "customXml", "../customXml/item1.xml")
    return edit


def custom_xml(pkg):
    items = pkg.linked(pkg.workbook(), "/customXml")
    return [(digest(pkg.read(i)), [digest(pkg.read(p)) for p in pkg.linked(i, "/customXmlProps")]) for i in items]


def put_macros(wb, ws):
    def edit(files, part):
        if not OUT.lower().endswith(".xlsm"):
            return
        files["xl/vbaProject.bin"] = bytes(reversed(range(256))) * 8
        files["[Content_Types].xml"] = files["[Content_Types].xml"].replace(
            b"</Types>", b'<Override PartName="/xl/vbaProject.bin" ContentType="application/vnd.ms-office.vbaProject"/></Types>')
        files["[Content_Types].xml"] = files["[Content_Types].xml"].replace(
            b"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml",
            b"application/vnd.ms-excel.sheet.macroEnabled.main+xml")
        add_workbook_link(files, "rIdMacros", MACRO_REL, "vbaProject.bin")
    return edit


def macros(pkg):
    wb = pkg.workbook()
    types = pkg.read("[Content_Types].xml")
    return ([digest(pkg.read(t)) for t in pkg.linked(wb, "/vbaProject")],
            b"macroEnabled.main+xml" in types)


def put_settings(wb, ws):
    ws.freeze_panes = "B2"
    ws.sheet_view.zoomScale = 130
    ws.sheet_view.showGridLines = False
    ws.sheet_properties.tabColor = "FF00B050"
    ws.sheet_properties.pageSetUpPr = PageSetupProperties(fitToPage=True)
    ws.page_setup.fitToHeight = 0
    ws.page_setup.paperSize = 9
    ws.page_margins.left = 0.25
    ws.oddFooter.center.text = "第 &P 页"
    for r in (2, 3):
        ws.row_dimensions[r].outline_level = 1
    ws.protection.sheet = True
    ws.protection.password = "abc"


# Numbers whose shortest text has 17 digits: a cell shows 15 of them, and
# every path a job takes must keep them all. openpyxl writes 15 digits
# too, so stand-ins go into the sheets and the digits into the package.
LONG_DIGITS = [0.30000000000000004, 63.699999999999996, 60.300000000000004]
STAND_INS = [1234.5671, 1234.5672, 1234.5673]
# The input sheet's column where a job takes any number (a score, 学号).
NUMBER_COLUMN = {"classdiv": 5, "exam": 4, "proficiency": 2, "plain": 1}


def long_digits_into_package(files):
    for name in files:
        if name.startswith("xl/worksheets/") and name.endswith(".xml"):
            for stand_in, v in zip(STAND_INS, LONG_DIGITS):
                files[name] = files[name].replace(b"<v>%r</v>" % stand_in, b"<v>%r</v>" % v)


def put_long_digits(wb, ws):
    data = wb.worksheets[0]
    column = NUMBER_COLUMN[JOB]
    for row, v in enumerate(STAND_INS, 2):
        data.cell(row, column, v)
    for c, v in enumerate(STAND_INS, 5):
        ws.cell(7, c, v)
    return lambda files, part: long_digits_into_package(files)


def long_digits_on_input(wb, ws, pkg):
    """The long numbers of the first sheet, wherever a job moved them."""
    found = [v for row in wb.worksheets[0].iter_rows(values_only=True) for v in row if v in LONG_DIGITS]
    return sorted(repr(v) for v in found)


ITEMS = [
    ("cells", lambda wb, ws: [ws.cell(7, c, v) for c, v in enumerate([88.5, True, "#N/A", "文字"], 1)],
     lambda wb, ws, pkg: [(repr(c.value), c.data_type) for c in ws[7][:4]]),
    ("long digits", put_long_digits,
     lambda wb, ws, pkg: ([repr(c.value) for c in ws[7][4:7]], long_digits_on_input(wb, ws, pkg))),
    ("view and page settings, outline, sheet protection", put_settings,
     lambda wb, ws, pkg: (ws.freeze_panes, ws.sheet_view.zoomScale, ws.sheet_view.showGridLines,
                          ws.sheet_properties.tabColor.rgb, ws.page_setup.paperSize, ws.page_setup.fitToHeight,
                          ws.page_margins.left, ws.oddFooter.center.text,
                          {r: d.outline_level for r, d in ws.row_dimensions.items() if d.outline_level},
                          ws.protection.sheet, ws.protection.password)),
    ("workbook protection and properties",
     lambda wb, ws: (setattr(wb, "security", openpyxl.workbook.protection.WorkbookProtection(
         lockStructure=True, workbookPassword="xyz")), setattr(wb.properties, "title", "期中成绩")),
     lambda wb, ws, pkg: (wb.security.lockStructure, wb.security.workbookPassword, wb.properties.title)),
    ("very hidden sheet",
     lambda wb, ws: setattr(wb.create_sheet("深藏"), "sheet_state", "veryHidden"),
     lambda wb, ws, pkg: wb["深藏"].sheet_state if "深藏" in wb.sheetnames else None),
    ("image", put_image, lambda wb, ws, pkg: (drawn(pkg, pkg.sheet_part(SHEET), "image"), len(ws._images))),
    ("chart", put_chart, lambda wb, ws, pkg: (drawn(pkg, pkg.sheet_part(SHEET), "chart"), len(ws._charts))),
    ("printer settings", put_printer_settings,
     lambda wb, ws, pkg: (printer_settings(pkg, pkg.sheet_part(SHEET)), ws.page_setup.orientation)),
    ("custom XML", put_custom_xml, lambda wb, ws, pkg: custom_xml(pkg)),
    ("macro project", put_macros, lambda wb, ws, pkg: macros(pkg)),
]


def make(job, out):
    global JOB
    JOB = job
    wb = openpyxl.Workbook()
    data = wb.active
    data.title = "名单" if job != "plain" else "首页"
    for row in INPUTS[job]:
        data.append(row)
    ws = wb.create_sheet(SHEET)
    for i in range(1, 6):
        ws.append([i, i * i])
    edits = [e for e in (put(wb, ws) for _, put, _ in ITEMS) if callable(e)]
    wb.active = 0
    buf = io.BytesIO()
    wb.save(buf)
    src = zipfile.ZipFile(buf)
    files = {n: src.read(n) for n in src.namelist()}
    part = Package(buf).sheet_part(SHEET)
    for edit in edits:
        edit(files, part)
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in files.items():
            z.writestr(name, data)


def describe(path):
    wb = openpyxl.load_workbook(path)
    ws = wb[SHEET]
    pkg = Package(path)
    return [(name, read(wb, ws, pkg)) for name, _, read in ITEMS]


def compare(a, b):
    bad = 0
    for (name, x), (_, y) in zip(describe(a), describe(b)):
        if x != y:
            print("DIFF %s: %r != %r" % (name, x, y))
            bad = 1
    return bad


if __name__ == "__main__":
    if sys.argv[1] == "make":
        OUT = sys.argv[3]
        make(sys.argv[2], OUT)
        sys.exit(0)
    if sys.argv[1] == "compare":
        sys.exit(compare(sys.argv[2], sys.argv[3]))
    sys.exit(2)
