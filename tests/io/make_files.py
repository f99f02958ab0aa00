"""Hand-made .xlsx packages for the io tests, written part by part.

  handmade DIR       files the usual writers do not make: prefixed XML
                     namespaces, relative and absolute relationship targets,
                     shared formulas, rich shared and inline strings, cells and
                     rows without numbers, dates, parts the model cannot carry
  bad GOOD DIR       damaged variants of the good file GOOD (written by our
                     writer): one file per fault, named after it
  foreign DIR        zip packages of other kinds that a user may pick as a
                     workbook: OpenDocument, Word, PowerPoint, a binary
                     workbook, a plain archive
"""
import os
import re
import sys
import zipfile

NS = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
R = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PR = "http://schemas.openxmlformats.org/package/2006/relationships"
CT = """<?xml version="1.0" encoding="UTF-8"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">
<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>
<Default Extension="xml" ContentType="application/xml"/>
</Types>"""


def rels(items):
    body = "".join('<Relationship Id="%s" Type="%s/%s" Target="%s"%s/>'
                   % (i, R, t, target, ' TargetMode="External"' if ext else "")
                   for i, t, target, ext in items)
    return '<?xml version="1.0"?><Relationships xmlns="%s">%s</Relationships>' % (PR, body)


STYLES = """<?xml version="1.0"?>
<x:styleSheet xmlns:x="%s">
<x:numFmts count="1"><x:numFmt numFmtId="170" formatCode="0.0&quot;分&quot;"/></x:numFmts>
<x:fonts count="2"><x:font><x:sz val="11"/><x:name val="宋体"/><x:charset val="134"/></x:font>
<x:font><x:b/><x:sz val="12"/><x:color theme="1"/><x:name val="黑体"/></x:font></x:fonts>
<x:fills count="2"><x:fill><x:patternFill patternType="none"/></x:fill><x:fill><x:patternFill patternType="gray125"/></x:fill></x:fills>
<x:borders count="1"><x:border><x:left/><x:right/><x:top/><x:bottom/><x:diagonal/></x:border></x:borders>
<x:cellXfs count="3"><x:xf numFmtId="0" fontId="0" fillId="0" borderId="0"/>
<x:xf numFmtId="170" fontId="1" fillId="0" borderId="0" applyNumberFormat="1"/>
<x:xf numFmtId="14" fontId="0" fillId="0" borderId="0"/></x:cellXfs>
</x:styleSheet>""" % NS

SST = """<?xml version="1.0"?>
<x:sst xmlns:x="%s" count="3" uniqueCount="3">
<x:si><x:t>姓名</x:t></x:si>
<x:si><x:r><x:rPr><x:b/><x:sz val="11"/><x:color rgb="FFFF0000"/><x:rFont val="宋体"/></x:rPr><x:t>红</x:t></x:r><x:r><x:t xml:space="preserve"> 黑</x:t></x:r><x:rPh sb="0" eb="1"><x:t>ホン</x:t></x:rPh></x:si>
<x:si><x:t>tab_x0009_here</x:t></x:si>
</x:sst>""" % NS

SHEET = """<?xml version="1.0"?>
<x:worksheet xmlns:x="%s" xmlns:r="%s">
<x:sheetViews><x:sheetView workbookViewId="0"><x:pane ySplit="1" topLeftCell="A2" activePane="bottomLeft" state="frozen"/>
<x:selection pane="topLeft"/><x:selection pane="bottomLeft" activeCell="C3" sqref="A1:A2 C3:D4"/></x:sheetView></x:sheetViews>
<x:sheetFormatPr defaultRowHeight="13.5"/>
<x:cols><x:col min="2" max="4" width="10.7109375" customWidth="1"/></x:cols>
<x:sheetData>
<x:row r="1"><x:c r="A1" t="s"><x:v>0</x:v></x:c><x:c t="s" s="1"><x:v>1</x:v></x:c><x:c t="inlineStr"><x:is><x:r><x:rPr><x:i/><x:rFont val="楷体"/></x:rPr><x:t>斜</x:t></x:r><x:r><x:t>正</x:t></x:r></x:is></x:c></x:row>
<x:row><x:c r="A2"><x:v>10</x:v></x:c><x:c r="B2"><x:f t="shared" si="0" ref="B2:B4">A2*2+$A$2</x:f><x:v>30</x:v></x:c><x:c r="C2" t="b"><x:v>1</x:v></x:c><x:c r="D2" t="e"><x:v>#VALUE!</x:v></x:c></x:row>
<x:row r="3" ht="13.5"><x:c r="A3"><x:v>20</x:v></x:c><x:c r="B3"><x:f t="shared" si="0"/><x:v>50</x:v></x:c><x:c r="C3" t="str"><x:f>"a"&amp;"b"</x:f><x:v>ab</x:v></x:c><x:c r="D3" s="2" t="d"><x:v>2024-03-01T12:00:00</x:v></x:c></x:row>
<x:row r="4" ht="27"><x:c r="A4"><x:v>1.5E+2</x:v></x:c><x:c r="B4"><x:f t="shared" si="0"/></x:c><x:c r="C4" t="s"><x:v>2</x:v></x:c></x:row>
</x:sheetData>
<x:mergeCells count="1"><x:mergeCell ref="E1:F2"/></x:mergeCells>
<x:rowBreaks count="1" manualBreakCount="1"><x:brk id="2" max="16383" man="1"/></x:rowBreaks>
</x:worksheet>""" % (NS, R)

WORKBOOK = """<?xml version="1.0"?>
<x:workbook xmlns:x="%s" xmlns:r="%s">
<x:bookViews><x:workbookView activeTab="0"/></x:bookViews>
<x:sheets><x:sheet name="手工" sheetId="1" r:id="rId1"/><x:sheet name="空白" sheetId="2" state="veryHidden" r:id="rId2"/></x:sheets>
</x:workbook>""" % (NS, R)

EMPTY_SHEET = '<?xml version="1.0"?><worksheet xmlns="%s"><sheetData/></worksheet>' % NS


def handmade(out):
    # Relative targets, namespace prefixes.
    with zipfile.ZipFile(os.path.join(out, "handmade.xlsx"), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", CT)
        z.writestr("_rels/.rels", rels([("rId1", "officeDocument", "xl/workbook.xml", False)]))
        z.writestr("xl/workbook.xml", WORKBOOK)
        z.writestr("xl/_rels/workbook.xml.rels", rels([
            ("rId1", "worksheet", "worksheets/sheet1.xml", False),
            ("rId2", "worksheet", "./worksheets/../worksheets/sheet2.xml", False),
            ("rId3", "styles", "styles.xml", False),
            ("rId4", "sharedStrings", "sharedStrings.xml", False)]))
        z.writestr("xl/worksheets/sheet1.xml", SHEET)
        z.writestr("xl/worksheets/sheet2.xml", EMPTY_SHEET)
        z.writestr("xl/styles.xml", STYLES)
        z.writestr("xl/sharedStrings.xml", SST)

    # The same with absolute targets, parts elsewhere and upper-case names.
    with zipfile.ZipFile(os.path.join(out, "absolute.xlsx"), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", CT)
        z.writestr("_rels/.rels", rels([("rId1", "officeDocument", "/book/Workbook.xml", False)]))
        z.writestr("book/Workbook.xml", WORKBOOK)
        z.writestr("book/_rels/Workbook.xml.rels", rels([
            ("rId1", "worksheet", "/book/sheets/one.xml", False),
            ("rId2", "worksheet", "/book/sheets/two.xml", False),
            ("rId3", "styles", "/book/styles.xml", False),
            ("rId4", "sharedStrings", "/book/strings.xml", False)]))
        z.writestr("book/sheets/one.xml", SHEET)
        z.writestr("book/sheets/two.xml", EMPTY_SHEET)
        z.writestr("book/styles.xml", STYLES)
        z.writestr("book/strings.xml", SST)

    # Parts the model cannot carry.
    sheet = SHEET.replace("</x:sheetData>", "</x:sheetData>").replace(
        "<x:rowBreaks", '<x:conditionalFormatting sqref="A1"><x:cfRule type="cellIs" priority="1"/></x:conditionalFormatting>'
        '<x:dataValidations count="1"><x:dataValidation sqref="A1"/></x:dataValidations><x:rowBreaks').replace(
        "</x:worksheet>", '<x:pageSetup paperSize="9" orientation="landscape"/>'
        '<x:headerFooter><x:oddFooter>第 &amp;P 页</x:oddFooter></x:headerFooter></x:worksheet>')
    with zipfile.ZipFile(os.path.join(out, "unsupported.xlsx"), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", CT)
        z.writestr("_rels/.rels", rels([("rId1", "officeDocument", "xl/workbook.xml", False)]))
        z.writestr("xl/workbook.xml", WORKBOOK.replace(
            "</x:sheets>", '</x:sheets><x:definedNames><x:definedName name="总分区">手工!$A$1</x:definedName>'
            '<x:definedName name="_xlnm.Print_Titles" localSheetId="0">手工!$1:$1</x:definedName></x:definedNames>'))
        z.writestr("xl/_rels/workbook.xml.rels", rels([
            ("rId1", "worksheet", "worksheets/sheet1.xml", False),
            ("rId2", "worksheet", "worksheets/sheet2.xml", False),
            ("rId3", "styles", "styles.xml", False),
            ("rId4", "sharedStrings", "sharedStrings.xml", False),
            ("rId5", "externalLink", "externalLinks/externalLink1.xml", False)]))
        z.writestr("xl/worksheets/sheet1.xml", sheet)
        z.writestr("xl/worksheets/_rels/sheet1.xml.rels", rels([
            ("rId1", "drawing", "../drawings/drawing1.xml", False),
            ("rId2", "comments", "../comments1.xml", False),
            ("rId3", "hyperlink", "http://example.com/", True)]))
        z.writestr("xl/drawings/drawing1.xml", "<wsDr/>")
        z.writestr("xl/drawings/_rels/drawing1.xml.rels", rels([
            ("rId1", "chart", "../charts/chart1.xml", False),
            ("rId2", "image", "../media/image1.png", False)]))
        z.writestr("xl/worksheets/sheet2.xml", EMPTY_SHEET)
        z.writestr("xl/styles.xml", STYLES)
        z.writestr("xl/sharedStrings.xml", SST)
        z.writestr("xl/vbaProject.bin", b"\0" * 16)


def rewrite(good, out, name, fn):
    """Copies GOOD to OUT/NAME.xlsx passing every part through fn(name, bytes)."""
    with zipfile.ZipFile(good) as src, zipfile.ZipFile(os.path.join(out, name + ".xlsx"), "w", zipfile.ZIP_DEFLATED) as dst:
        for info in src.infolist():
            data = fn(info.filename, src.read(info.filename))
            if data is not None:
                dst.writestr(info.filename, data)


def sheet_only(fn):
    return lambda n, d: fn(d) if n == "xl/worksheets/sheet1.xml" else d


def bad(good, out):
    data = open(good, "rb").read()
    open(os.path.join(out, "notzip.xlsx"), "wb").write("学号,姓名\n1,张三\n".encode("utf-8"))
    open(os.path.join(out, "truncated.xlsx"), "wb").write(data[: len(data) // 2])
    open(os.path.join(out, "empty.xlsx"), "wb").write(b"")
    # A part that inflates a thousandfold.
    rewrite(good, out, "bomb", lambda n, d: d + b" " * (8 << 20) if n == "xl/worksheets/sheet1.xml" else d)
    rewrite(good, out, "badxml", sheet_only(lambda d: d[: len(d) * 2 // 3]))
    rewrite(good, out, "outside", sheet_only(lambda d: d.replace(b'r="A1"', b'r="XFE1"', 1)))
    rewrite(good, out, "toomany", sheet_only(lambda d: d.replace(b"</sheetData>",
            b'<row r="1048577"><c r="A1048577"><v>1</v></c></row></sheetData>')))
    rewrite(good, out, "badstyle", sheet_only(lambda d: re.sub(rb'<c r="A1"', b'<c r="A1" s="999"', d, count=1)))
    rewrite(good, out, "badstring", sheet_only(lambda d: re.sub(rb't="s"><v>\d+</v>', b't="s"><v>99999</v>', d, count=1)))
    rewrite(good, out, "badmerge", sheet_only(lambda d: d.replace(b"</sheetData>",
            b'</sheetData><mergeCells count="1"><mergeCell ref="A1:XFE2"/></mergeCells>')))
    # Entities of a document type would expand beyond the part's size.
    rewrite(good, out, "entity", sheet_only(lambda d: re.sub(rb"^(<\?xml[^>]*\?>)?", lambda m: (m.group(0) or b"") +
            b'<!DOCTYPE x [<!ENTITY a "aaaaaaaaaa"><!ENTITY b "&a;&a;&a;&a;&a;&a;">]>', d, count=1)))
    rewrite(good, out, "deep", sheet_only(lambda d: d.replace(b"</sheetData>", b"<x>" * 300 + b"</x>" * 300 + b"</sheetData>")))
    rewrite(good, out, "badnumber", sheet_only(lambda d: d.replace(b"<v>88.5</v>", b"<v>88,5</v>")))
    rewrite(good, out, "nostyles", lambda n, d: d.replace(b'fontId="0"', b'fontId="77"') if n == "xl/styles.xml" else d)
    rewrite(good, out, "nosheet", lambda n, d: None if n == "xl/worksheets/sheet1.xml" else d)
    # Damaged compressed data: the checksum catches it.
    with zipfile.ZipFile(good) as src:
        info = src.getinfo("xl/worksheets/sheet1.xml")
        start = info.header_offset + 30 + len(info.filename.encode()) + len(info.extra)
    raw = bytearray(data)
    for k in range(start + 20, start + 40):
        raw[k] ^= 0x5A
    open(os.path.join(out, "crc.xlsx"), "wb").write(bytes(raw))


def foreign(out):
    def package(name, entries):
        with zipfile.ZipFile(os.path.join(out, name), "w") as z:
            for entry, text in entries:
                # OpenDocument stores its mimetype first and uncompressed.
                kind = zipfile.ZIP_STORED if entry == "mimetype" else zipfile.ZIP_DEFLATED
                z.writestr(entry, text, compress_type=kind)
    od = "application/vnd.oasis.opendocument."
    package("sheet.ods", [("mimetype", od + "spreadsheet"), ("content.xml", "<office:document-content/>")])
    package("letter.odt", [("mimetype", od + "text"), ("content.xml", "<office:document-content/>")])
    package("letter.docx", [("[Content_Types].xml", CT), ("word/document.xml", "<w:document/>")])
    package("slides.pptx", [("[Content_Types].xml", CT), ("ppt/presentation.xml", "<p:presentation/>")])
    package("binary.xlsb", [("[Content_Types].xml", CT), ("xl/workbook.bin", "\x83\x01")])
    package("archive.zip", [("成绩.xlsx", "not inside"), ("说明.txt", "text")])


if __name__ == "__main__":
    if sys.argv[1] == "handmade":
        handmade(sys.argv[2])
    elif sys.argv[1] == "foreign":
        foreign(sys.argv[2])
    elif sys.argv[1] == "bad":
        bad(sys.argv[2], sys.argv[3])
    else:
        sys.exit(2)
