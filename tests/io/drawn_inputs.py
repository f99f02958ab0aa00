"""Input sheets that carry a drawing part, for the tests that a job keeps
what it copies with the sheet and refuses nothing that is kept.

  make JOB KIND OUT   writes the input sheet of carry_items.py for JOB, with
                      KIND: "picture" (a picture right of the table) or
                      "empty" (an autofilter over the table and an empty
                      drawing part, as LibreOffice saves such a sheet)
  pictures BOOK SHEET OUT SHEET...
                      exits 1, printing what differs, unless each named
                      sheet of OUT shows the picture bytes BOOK's sheet shows
"""
import io
import posixpath
import sys
import zipfile

import openpyxl
from openpyxl.drawing.image import Image

from carry_items import INPUTS, Package, drawn

XDR = "http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"


def make(job, kind, out):
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "名单"
    for row in INPUTS[job]:
        ws.append(row)
    if kind == "picture":
        from PIL import Image as Picture
        data = io.BytesIO()
        Picture.new("RGB", (8, 8), (30, 90, 200)).save(data, "PNG")
        data.seek(0)
        ws.add_image(Image(data), "L2")
    else:
        ws.auto_filter.ref = ws.dimensions
    buf = io.BytesIO()
    wb.save(buf)
    src = zipfile.ZipFile(buf)
    files = {n: src.read(n) for n in src.namelist()}
    if kind == "empty":
        part = Package(buf).sheet_part("名单")
        rels = posixpath.join(posixpath.dirname(part), "_rels", posixpath.basename(part) + ".rels")
        files["xl/drawings/drawing1.xml"] = ('<xdr:wsDr xmlns:xdr="%s" '
                                             'xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main"/>'
                                             % XDR).encode()
        files[rels] = ('<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
                       '<Relationship Id="rId1" Type="%s/drawing" Target="../drawings/drawing1.xml"/>'
                       '</Relationships>' % REL).encode()
        files[part] = files[part].replace(b"</worksheet>", b'<drawing xmlns:r="%s" r:id="rId1"/></worksheet>'
                                          % REL.encode())
        files["[Content_Types].xml"] = files["[Content_Types].xml"].replace(
            b"</Types>", b'<Override PartName="/xl/drawings/drawing1.xml" '
            b'ContentType="application/vnd.openxmlformats-officedocument.drawing+xml"/></Types>')
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in files.items():
            z.writestr(name, data)


def pictures(book, sheet, out, sheets):
    want = drawn(Package(book), Package(book).sheet_part(sheet), "image")
    got = Package(out)
    openpyxl.load_workbook(out)  # the file opens
    bad = 0
    for name in sheets:
        part = got.sheet_part(name)
        have = drawn(got, part, "image") if part else None
        if have != want:
            print("DIFF %s: %r != %r" % (name, have, want))
            bad = 1
    return bad


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2], sys.argv[3], sys.argv[4])
        sys.exit(0)
    if sys.argv[1] == "pictures":
        sys.exit(pictures(sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5:]))
    sys.exit(2)
