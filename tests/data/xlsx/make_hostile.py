#!/usr/bin/python3
"""Writes hostile .xlsx packages by hand (zipfile), each named for what it tries.

Usage: make_hostile.py OUTPUT_DIR

Compression bombs, relationships that leave the package, XML with a document type declaration,
cells past the sheet's limits, indices that name nothing, cells and rows out of order.
"""

import os
import struct
import sys
import zipfile
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_handmade import CONTENT_TYPES, MAIN, rels, sheet_xml, simple, workbook_xml, write  # noqa: E402

STYLES = """<?xml version="1.0" encoding="UTF-8"?>
<styleSheet xmlns="%s"><fonts count="1"><font><sz val="11"/><name val="Calibri"/></font></fonts>
<fills count="1"><fill><patternFill patternType="none"/></fill></fills>
<borders count="1"><border/></borders>
<cellXfs count="2"><xf/><xf numFmtId="10"/></cellXfs></styleSheet>""" % MAIN


def padded_sheet(size):
    """A valid worksheet part of about `size` bytes, nearly all of it spaces."""
    head = sheet_xml("").split("<sheetData>")[0] + "<sheetData>"
    tail = "</sheetData></worksheet>"
    return head + " " * (size - len(head) - len(tail)) + tail


def package(sheets, method=zipfile.ZIP_DEFLATED):
    """The parts of a workbook whose worksheets hold the given XML texts."""
    names = [("表%d" % (i + 1), "rId%d" % (i + 1)) for i in range(len(sheets))]
    parts = {
        "[Content_Types].xml": CONTENT_TYPES,
        "_rels/.rels": rels([("rId1", "officeDocument", "xl/workbook.xml")]),
        "xl/workbook.xml": workbook_xml(names),
        "xl/_rels/workbook.xml.rels": rels(
            [(r, "worksheet", "worksheets/sheet%d.xml" % (i + 1)) for i, (_, r) in enumerate(names)]),
    }
    for i, xml in enumerate(sheets):
        parts["xl/worksheets/sheet%d.xml" % (i + 1)] = xml
    return parts


def bombs(out):
    # 64 MiB of spaces that bzip2 packs into a few hundred bytes.
    with zipfile.ZipFile(os.path.join(out, "bomb_bzip2.xlsx"), "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in package([padded_sheet(64 << 20)]).items():
            z.writestr(name, data, compress_type=zipfile.ZIP_BZIP2 if "worksheets" in name else None)
    # Eight worksheet entries that share one deflated 12 MiB stream: each part alone is within
    # bounds, but together they inflate to 96 MiB from a file of a few dozen KB.
    overlapped(os.path.join(out, "bomb_overlapping.xlsx"), padded_sheet(12 << 20), 8)
    # A part that declares 100 bytes and inflates to 256 KiB.
    path = os.path.join(out, "lying_size.xlsx")
    write(path, package([padded_sheet(256 << 10)]))
    with open(path, "r+b") as f:
        data = bytearray(f.read())
        name = b"xl/worksheets/sheet1.xml"
        for sig, size_at in ((b"PK\x03\x04", 22), (b"PK\x01\x02", 24)):
            pos = data.find(sig)
            while pos >= 0:
                name_at = 30 if sig == b"PK\x03\x04" else 46
                if data[pos + name_at:pos + name_at + len(name)] == name:
                    struct.pack_into("<I", data, pos + size_at, 100)
                pos = data.find(sig, pos + 4)
        f.seek(0)
        f.write(data)


def overlapped(path, sheet, copies):
    """A package whose `copies` worksheet entries all point at one local entry's data."""
    parts = package([sheet] * copies)
    body = bytearray()
    central = bytearray()
    shared_offset = None
    count = 0
    for name, text in parts.items():
        data = text.encode("utf-8")
        raw = zlib.compressobj(9, zlib.DEFLATED, -15)
        packed = raw.compress(data) + raw.flush()
        crc = zlib.crc32(data)
        encoded = name.encode("utf-8")
        if "worksheets" in name and shared_offset is not None:
            offset = shared_offset
        else:
            offset = len(body)
            if "worksheets" in name:
                shared_offset = offset
            body += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 8, 0, 0, crc, len(packed),
                                len(data), len(encoded), 0) + encoded + packed
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 8, 0, 0, crc,
                               len(packed), len(data), len(encoded), 0, 0, 0, 0, 0,
                               offset) + encoded
        count += 1
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, len(central), len(body), 0)
    with open(path, "wb") as f:
        f.write(bytes(body + central + end))


def relationships(out):
    base = {
        "[Content_Types].xml": CONTENT_TYPES,
        "_rels/.rels": rels([("rId1", "officeDocument", "xl/workbook.xml")]),
        "xl/workbook.xml": workbook_xml([("工资", "rId1")]),
        "xl/worksheets/sheet1.xml": sheet_xml('<row r="1"><c r="A1"><v>1</v></c></row>'),
    }
    cases = {
        "rel_sheet_above_root.xlsx": [("rId1", "worksheet", "../../worksheets/sheet1.xml")],
        "rel_sheet_url.xlsx": [("rId1", "worksheet", "http://example.com/sheet1.xml", "External")],
        "rel_sheet_drive.xlsx": [("rId1", "worksheet", "C:\\sheets\\sheet1.xml")],
        "rel_styles_url.xlsx": [("rId1", "worksheet", "worksheets/sheet1.xml"),
                                ("rId2", "styles", "file:///etc/passwd")],
        "rel_shared_strings_missing.xlsx": [("rId1", "worksheet", "worksheets/sheet1.xml"),
                                            ("rId3", "sharedStrings", "strings/none.xml")],
        # Links to other files and unused parts outside the package are no fault.
        "rel_external_link.xlsx": [("rId1", "worksheet", "/xl/worksheets/sheet1.xml"),
                                   ("rId5", "externalLinkPath", "../工资2023.xlsx", "External"),
                                   ("rId6", "customXml", "../customXml/item1.xml")],
    }
    for name, items in cases.items():
        write(os.path.join(out, name), dict(base, **{"xl/_rels/workbook.xml.rels": rels(items)}))


BILLION_LAUGHS = """<?xml version="1.0"?>
<!DOCTYPE lolz [<!ENTITY lol "lol"><!ENTITY lol1 "&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;">
<!ENTITY lol2 "&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;">
<!ENTITY lol3 "&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;">
<!ENTITY lol4 "&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;">
<!ENTITY lol5 "&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;">
<!ENTITY lol6 "&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;">
<!ENTITY lol7 "&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;">
<!ENTITY lol8 "&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;">
<!ENTITY lol9 "&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;">]>
<worksheet xmlns="%s"><sheetData><row r="1"><c r="A1" t="inlineStr"><is><t>&lol9;</t></is></c></row>
</sheetData></worksheet>""" % MAIN


def xml(out):
    write(os.path.join(out, "billion_laughs.xlsx"), package([BILLION_LAUGHS]))
    external = ('<?xml version="1.0"?>\n<!DOCTYPE sst [<!ENTITY x SYSTEM "file:///etc/passwd">]>'
                '<sst xmlns="%s"><si><t>&x;</t></si></sst>' % MAIN)
    simple(os.path.join(out, "external_entity.xlsx"), '<row r="1"><c r="A1" t="s"><v>0</v></c></row>',
           shared=external)
    simple(os.path.join(out, "deep_nesting.xlsx"),
           '<row r="1"><c r="A1" t="inlineStr"><is>%s<t>x</t>%s</is></c></row>'
           % ("<r>" * 300, "</r>" * 300))


def cells(out):
    simple(os.path.join(out, "row_beyond_limit.xlsx"),
           '<row r="1048576"><c r="A1048576"><v>1</v></c></row><row r="1048577"><c><v>2</v></c></row>')
    simple(os.path.join(out, "cell_beyond_xfd.xlsx"),
           '<row r="1"><c r="XFD1"><v>1</v></c><c r="XFE1"><v>2</v></c></row>')
    simple(os.path.join(out, "cell_after_xfd.xlsx"), '<row r="7"><c r="XFD7"><v>1</v></c><c><v>2</v></c></row>')
    simple(os.path.join(out, "style_index_out_of_range.xlsx"),
           '<row r="1"><c r="A1" s="1"><v>1</v></c><c r="B1" s="2"><v>2</v></c></row>', styles=STYLES)
    simple(os.path.join(out, "row_style_out_of_range.xlsx"),
           '<row r="4" s="9" customFormat="1"><c r="A4"><v>1</v></c></row>', styles=STYLES)
    simple(os.path.join(out, "style_without_styles_part.xlsx"), '<row r="1"><c r="C1" s="3"><v>1</v></c></row>')
    # Column runs over every column, again and again: 17 times the sheet's width in all.
    simple(os.path.join(out, "column_runs_repeated.xlsx"), '<row r="1"><c r="A1"><v>1</v></c></row>',
           sheet_before="<cols>%s</cols>" % ('<col min="1" max="16384" width="9"/>' * 17))
    # The first cell format is not the default one: cells without "s" take it.
    simple(os.path.join(out, "first_format_not_default.xlsx"), '<row r="1"><c r="A1"><v>0.5</v></c></row>',
           styles=STYLES.replace("<xf/><xf", '<xf numFmtId="10"/><xf'))
    # Cells and rows out of order and repeated: the last one written wins, every other cell stays.
    simple(os.path.join(out, "out_of_order.xlsx"),
           '<row r="3"><c r="C3"><v>33</v></c><c r="A3"><v>31</v></c><c r="C3"><v>34</v></c></row>'
           '<row r="1"><c r="B1"><v>12</v></c></row>'
           '<row r="3" ht="30" customHeight="1"><c r="B3"><v>32</v></c><c r="A3"><v>30</v></c></row>'
           '<row r="2"><c r="A2"><v>21</v></c><c r="A2"><v>22</v></c></row>')


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    bombs(out)
    relationships(out)
    xml(out)
    cells(out)


if __name__ == "__main__":
    main()
