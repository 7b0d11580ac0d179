#!/usr/bin/python3
"""Writes small .xlsx packages by hand (zipfile), for reader cases no library writes.

Usage: make_handmade.py OUTPUT_DIR

Each package is named for what it holds; the broken ones are named for their fault.
"""

import os
import sys
import zipfile

MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG_REL = "http://schemas.openxmlformats.org/package/2006/relationships"
STRICT_MAIN = "http://purl.oclc.org/ooxml/spreadsheetml/main"
STRICT_REL = "http://purl.oclc.org/ooxml/officeDocument/relationships"

CONTENT_TYPES = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">
<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>
<Default Extension="xml" ContentType="application/xml"/>
</Types>"""


def rels(items, rel_ns=REL):
    """items: (id, type suffix, target[, mode])"""
    out = ['<?xml version="1.0" encoding="UTF-8"?>', '<Relationships xmlns="%s">' % PKG_REL]
    for item in items:
        rid, kind, target = item[:3]
        mode = ' TargetMode="%s"' % item[3] if len(item) > 3 else ""
        out.append('<Relationship Id="%s" Type="%s/%s" Target="%s"%s/>'
                   % (rid, rel_ns, kind, target, mode))
    out.append("</Relationships>")
    return "\n".join(out)


def workbook_xml(sheets, extra="", main=MAIN, rel_ns=REL):
    """sheets: (name, rId)"""
    body = "".join('<sheet name="%s" sheetId="%d" r:id="%s"/>' % (n, i + 1, r)
                   for i, (n, r) in enumerate(sheets))
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<workbook xmlns="%s" xmlns:r="%s">%s'
            "<sheets>%s</sheets></workbook>" % (main, rel_ns, extra, body))


def sheet_xml(body, main=MAIN, before="", after=""):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<worksheet xmlns="%s" xmlns:r="%s">%s'
            "<sheetData>%s</sheetData>%s</worksheet>" % (main, REL, before, body, after))


def write(path, parts):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in parts.items():
            z.writestr(name, data)


def simple(path, sheet_body, styles=None, shared=None, workbook_extra="", sheet_before="",
           sheet_after="", theme=None):
    wb_rels = [("rId1", "worksheet", "worksheets/sheet1.xml")]
    parts = {
        "[Content_Types].xml": CONTENT_TYPES,
        "_rels/.rels": rels([("rId1", "officeDocument", "xl/workbook.xml")]),
        "xl/workbook.xml": workbook_xml([("Sheet1", "rId1")], workbook_extra),
        "xl/worksheets/sheet1.xml": sheet_xml(sheet_body, before=sheet_before, after=sheet_after),
    }
    if styles is not None:
        wb_rels.append(("rId2", "styles", "styles.xml"))
        parts["xl/styles.xml"] = styles
    if shared is not None:
        wb_rels.append(("rId3", "sharedStrings", "sharedStrings.xml"))
        parts["xl/sharedStrings.xml"] = shared
    if theme is not None:
        wb_rels.append(("rId4", "theme", "theme/theme1.xml"))
        parts["xl/theme/theme1.xml"] = theme
    parts["xl/_rels/workbook.xml.rels"] = rels(wb_rels)
    write(path, parts)


THEME = """<?xml version="1.0" encoding="UTF-8"?>
<a:theme xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" name="T">
<a:themeElements><a:clrScheme name="Custom">
<a:dk1><a:sysClr val="windowText" lastClr="111111"/></a:dk1>
<a:lt1><a:sysClr val="window" lastClr="FEFEFE"/></a:lt1>
<a:dk2><a:srgbClr val="1F497D"/></a:dk2>
<a:lt2><a:srgbClr val="EEECE1"/></a:lt2>
<a:accent1><a:srgbClr val="4F81BD"/></a:accent1>
<a:accent2><a:srgbClr val="C0504D"/></a:accent2>
<a:accent3><a:srgbClr val="9BBB59"/></a:accent3>
<a:accent4><a:srgbClr val="8064A2"/></a:accent4>
<a:accent5><a:srgbClr val="4BACC6"/></a:accent5>
<a:accent6><a:srgbClr val="F79646"/></a:accent6>
<a:hlink><a:srgbClr val="0000FF"/></a:hlink>
<a:folHlink><a:srgbClr val="800080"/></a:folHlink>
</a:clrScheme></a:themeElements></a:theme>"""

# Font 0 is the default; cellStyleXfs 1 carries font 2 and fill 2 for the inheritance cases.
STYLES = """<?xml version="1.0" encoding="UTF-8"?>
<styleSheet xmlns="%s">
<numFmts count="2"><numFmt numFmtId="176" formatCode="0.00_ "/><numFmt numFmtId="14" formatCode="yyyy-mm-dd"/></numFmts>
<fonts count="4">
<font><sz val="12"/><color theme="1"/><name val="宋体"/><family val="3"/><charset val="134"/><scheme val="minor"/></font>
<font><b/><i val="1"/><u val="double"/><strike/><vertAlign val="superscript"/><sz val="14"/><color theme="4" tint="0.79998168889431442"/><name val="黑体"/></font>
<font><b val="0"/><sz val="9"/><color indexed="10"/><name val="Arial"/></font>
<font><sz val="11"/><color rgb="FF00FF00"/><name val="Calibri"/><u/></font>
</fonts>
<fills count="6">
<fill><patternFill patternType="none"/></fill>
<fill><patternFill patternType="gray125"/></fill>
<fill><patternFill patternType="solid"><fgColor theme="0" tint="-4.9989318521683403E-2"/><bgColor indexed="64"/></patternFill></fill>
<fill><patternFill patternType="darkGrid"><fgColor indexed="8"/><bgColor rgb="FF00FF00"/></patternFill></fill>
<fill><gradientFill degree="90"><stop position="0"><color rgb="FF000000"/></stop><stop position="1"><color rgb="FFFFFFFF"/></stop></gradientFill></fill>
<fill><patternFill patternType="solid"><fgColor indexed="2"/></patternFill></fill>
</fills>
<borders count="2">
<border><left/><right/><top/><bottom/><diagonal/></border>
<border diagonalUp="1" diagonalDown="true"><left style="thin"><color auto="1"/></left><right style="medium"><color indexed="12"/></right><top style="dashed"><color theme="3"/></top><bottom style="double"><color rgb="FF123456"/></bottom><diagonal style="hair"><color rgb="FFABCDEF"/></diagonal></border>
</borders>
<cellStyleXfs count="2">
<xf numFmtId="0" fontId="0" fillId="0" borderId="0"/>
<xf numFmtId="10" fontId="2" fillId="2" borderId="1"><alignment horizontal="right"/></xf>
</cellStyleXfs>
<cellXfs count="9">
<xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/>
<xf numFmtId="176" fontId="1" fillId="2" borderId="1" xfId="0" applyNumberFormat="1" applyFont="1" applyFill="1" applyBorder="1" applyAlignment="1" applyProtection="1"><alignment horizontal="center" vertical="center" wrapText="1" shrinkToFit="1" indent="2" textRotation="45"/><protection locked="0" hidden="1"/></xf>
<xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="1" applyNumberFormat="0" applyFont="0" applyFill="0" applyBorder="0" applyAlignment="0"/>
<xf numFmtId="3" fontId="3" fillId="0" borderId="0" xfId="1" applyFont="1" applyFill="0"/>
<xf numFmtId="14" fontId="0" fillId="3" borderId="0" xfId="0"/>
<xf numFmtId="31" fontId="0" fillId="4" borderId="0" xfId="0"/>
<xf numFmtId="58" fontId="0" fillId="5" borderId="0" xfId="0"/>
<xf numFmtId="49" fontId="0" fillId="0" borderId="0" xfId="0"><alignment vertical="bottom" horizontal="general" textRotation="255"/></xf>
<xf numFmtId="999" fontId="77" fillId="88" borderId="99" xfId="55"/>
</cellXfs>
<cellStyles count="1"><cellStyle name="Normal" xfId="0" builtinId="0"/></cellStyles>
<dxfs count="1"><dxf><font><b/><color rgb="FFFF0000"/></font></dxf></dxfs>
<colors><indexedColors>
<rgbColor rgb="FF000000"/><rgbColor rgb="FFFFFFFF"/><rgbColor rgb="FF010203"/>
<rgbColor rgb="FF00FF00"/><rgbColor rgb="FF0000FF"/><rgbColor rgb="FFFFFF00"/>
<rgbColor rgb="FFFF00FF"/><rgbColor rgb="FF00FFFF"/><rgbColor rgb="FF000000"/>
<rgbColor rgb="FFFFFFFF"/><rgbColor rgb="FFAA0000"/>
</indexedColors></colors>
</styleSheet>""" % MAIN


def styled(out):
    body = "".join('<row r="%d"><c r="A%d" s="%d"><v>%d</v></c></row>' % (i + 1, i + 1, i, i)
                   for i in range(9))
    simple(os.path.join(out, "styles_resolved.xlsx"), body, styles=STYLES, theme=THEME)


def cells_without_r(out):
    # Rows and cells without "r" count on from the last position; one row jumps ahead.
    body = ('<row><c><v>1</v></c><c><v>2</v></c><c r="E1"><v>5</v></c><c><v>6</v></c></row>'
            '<row><c t="inlineStr"><is><t>二</t></is></c></row>'
            '<row r="5"><c><v>50</v></c><c/><c><v>52</v></c></row>'
            '<row><c r="B6"><v>61</v></c></row>')
    simple(os.path.join(out, "cells_without_r.xlsx"), body)


def strict(out):
    body = ('<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1"><v>3.5</v></c>'
            '<c r="C1" t="d"><v>2024-03-01T12:00:00</v></c><c r="D1" t="d"><v>1900-01-01</v></c>'
            '</row>')
    parts = {
        "[Content_Types].xml": CONTENT_TYPES,
        "_rels/.rels": rels([("rId1", "officeDocument", "/xl/workbook.xml")], STRICT_REL),
        "xl/workbook.xml": workbook_xml([("严格", "rId1")], main=STRICT_MAIN, rel_ns=STRICT_REL),
        "xl/_rels/workbook.xml.rels": rels([("rId1", "worksheet", "/xl/worksheets/sheet1.xml"),
                                            ("rId2", "sharedStrings", "sharedStrings.xml"),
                                            ("rId3", "styles", "styles.xml")], STRICT_REL),
        "xl/worksheets/sheet1.xml":
            '<?xml version="1.0"?><x:worksheet xmlns:x="%s"><x:sheetData>%s</x:sheetData>'
            '<x:mergeCells><x:mergeCell ref="A2:C3"/></x:mergeCells></x:worksheet>'
            % (STRICT_MAIN, body.replace("<", "<x:").replace("<x:/", "</x:")),
        "xl/sharedStrings.xml": '<sst xmlns="%s"><si><t>严格文本</t></si></sst>' % STRICT_MAIN,
        "xl/styles.xml": '<styleSheet xmlns="%s"><fonts><font><sz val="10"/><name val="Arial"/>'
                         '</font></fonts><cellXfs><xf fontId="0"/></cellXfs></styleSheet>'
                         % STRICT_MAIN,
    }
    write(os.path.join(out, "strict_namespace.xlsx"), parts)


def strings(out):
    shared = ('<sst xmlns="%s" count="5" uniqueCount="5">'
              '<si><t>plain</t></si>'
              '<si><r><t>普通</t></r><r><rPr><b/><sz val="14"/><color rgb="FFFF0000"/>'
              '<rFont val="黑体"/><charset val="134"/></rPr><t xml:space="preserve"> 加粗</t></r></si>'
              '<si><t>王小波</t><rPh sb="0" eb="3"><t>wang xiao bo</t></rPh>'
              '<phoneticPr fontId="1"/></si>'
              '<si><t>line1_x000D_&#10;line2 _x005F_x0041_ _xD83D__xDE00_</t></si>'
              '<si><r><t>no</t></r><r><t>font</t></r></si>'
              '</sst>' % MAIN)
    body = ('<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c>'
            '<c r="C1" t="s"><v>2</v></c><c r="D1" t="s"><v>3</v></c><c r="E1" t="s"><v>4</v></c>'
            '</row><row r="2"><c r="A2" t="inlineStr"><is><t>行内</t></is></c>'
            '<c r="B2" t="inlineStr"><is><r><rPr><i/></rPr><t>斜</t></r><r><t>体</t></r></is></c>'
            '<c r="C2" t="str"><f>"a"&amp;"b"</f><v>ab</v></c>'
            '<c r="D2" t="s"><f>T(A1)</f><v>0</v></c>'
            '<c r="E2"><f>1+1</f><v>2</v></c>'
            '<c r="F2" t="b"><f>TRUE()</f><v>1</v></c>'
            '<c r="G2" t="e"><f>NA()</f><v>#N/A</v></c>'
            '<c r="H2" t="e"><v>#DIV/0!</v></c>'
            '<c r="I2"><f>X()</f></c>'
            '<c r="J2" t="e"><v>#SPILL!</v></c>'
            '<c r="K2" t="b"><v>0</v></c>'
            '<c r="L2" t="inlineStr"><v>v_x0020_text</v></c>'
            '</row>')
    simple(os.path.join(out, "strings_and_formulas.xlsx"), body, shared=shared)


def layout(out):
    before = ('<dimension ref="A1:C4"/><sheetFormatPr baseColWidth="10" defaultRowHeight="13.8"/>'
              '<cols><col min="1" max="1" width="20.5" customWidth="1"/>'
              '<col min="2" max="3" width="0" hidden="true" customWidth="true"/>'
              '<col min="5" max="5" width="9.140625" style="1"/></cols>')
    # Boolean attributes as "1" and as LibreOffice writes them ("true", "false").
    body = ('<row r="1" ht="30" customHeight="1"><c r="A1"><v>1</v></c></row>'
            '<row r="2" hidden="true"><c r="A2"><v>2</v></c></row>'
            '<row r="3" ht="0" customHeight="1"><c r="A3"><v>3</v></c></row>'
            '<row r="4" ht="12.75" customHeight="false" hidden="false"><c r="C4"><v>4</v></c></row>')
    after = ('<mergeCells count="3"><mergeCell ref="A1:C1"/><mergeCell ref="B3:A2"/>'
             '<mergeCell ref="D4"/></mergeCells>')
    styles = ('<styleSheet xmlns="%s"><fonts><font><sz val="11"/><name val="等线"/></font></fonts>'
              '<fills><fill><patternFill/></fill></fills><borders><border/></borders>'
              '<cellXfs><xf/><xf fontId="0" numFmtId="9"/></cellXfs></styleSheet>' % MAIN)
    simple(os.path.join(out, "layout.xlsx"), body, styles=styles, sheet_before=before,
           sheet_after=after)


def row_styles(out):
    # Rows formatted as a whole (s with customFormat): cells the file leaves out show the row's
    # format; cells it gives keep their own.
    styles = ('<styleSheet xmlns="%s"><fills><fill><patternFill/></fill>'
              '<fill><patternFill patternType="gray125"/></fill>'
              '<fill><patternFill patternType="solid"><fgColor rgb="FFFFFF00"/></patternFill></fill>'
              '</fills><cellXfs><xf/><xf fillId="2"/></cellXfs></styleSheet>' % MAIN)
    body = ('<row r="1" s="1" customFormat="1"><c r="B1"><v>1</v></c><c r="C1" s="0"><v>2</v></c></row>'
            '<row r="2" s="1"><c r="B2"><v>3</v></c></row>'
            '<row r="3" s="1" customFormat="1"/>'
            '<row r="4" s="1" customFormat="1"><c r="C4"><v>4</v></c></row>')
    simple(os.path.join(out, "row_styles.xlsx"), body, styles=styles,
           sheet_before='<dimension ref="A1:D4"/>')


def legacy_encodings(out):
    # Parts declared and written in GBK and Big5, as some older generators write them.
    gbk = '<?xml version="1.0" encoding="GBK"?>\n'
    big5 = '<?xml version="1.0" encoding="Big5"?>\n'
    parts = {
        "[Content_Types].xml": CONTENT_TYPES,
        "_rels/.rels": rels([("rId1", "officeDocument", "xl/workbook.xml")]),
        "xl/workbook.xml": (gbk + workbook_xml([("工资表", "rId1")]).split("\n", 1)[1])
        .encode("gbk"),
        "xl/_rels/workbook.xml.rels": rels([("rId1", "worksheet", "worksheets/sheet1.xml"),
                                            ("rId2", "sharedStrings", "sharedStrings.xml")]),
        "xl/worksheets/sheet1.xml": sheet_xml(
            '<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c></row>'),
        "xl/sharedStrings.xml": (big5 + '<sst xmlns="%s"><si><t>薪資</t></si><si><t>A&amp;B</t>'
                                 '</si></sst>' % MAIN).encode("big5"),
    }
    write(os.path.join(out, "legacy_encodings.xlsx"), parts)


def sheet_order(out):
    # A chart sheet comes first; sheet targets are relative, "../"-relative and absolute (once
    # without its leading "/", as some writers do);
    # the active tab is the third <sheet>.
    cell = '<row r="1"><c r="A1" t="inlineStr"><is><t>%s</t></is></c></row>'
    parts = {
        "[Content_Types].xml": CONTENT_TYPES,
        "_rels/.rels": rels([("rId1", "officeDocument", "xl/workbook.xml")]),
        "xl/workbook.xml": workbook_xml(
            [("图表", "rId9"), ("第一", "rId3"), ("第二", "rId1"), ("第三", "rId2")],
            '<workbookPr date1904="1"/><bookViews><workbookView activeTab="2"/></bookViews>'),
        "xl/_rels/workbook.xml.rels": rels([
            ("rId1", "worksheet", "xl/worksheets/second.xml"),
            ("rId2", "worksheet", "/xl/sub/../worksheets/third.xml"),
            ("rId3", "worksheet", "worksheets/first%20sheet.xml"),
            ("rId9", "chartsheet", "chartsheets/sheet1.xml"),
            ("rId8", "hyperlink", "http://example.invalid/", "External")]),
        "xl/worksheets/first sheet.xml": sheet_xml(cell % "one"),
        "xl/worksheets/second.xml": sheet_xml(cell % "two"),
        "xl/worksheets/third.xml": sheet_xml(cell % "three"),
        "xl/chartsheets/sheet1.xml": "<chartsheet/>",
    }
    write(os.path.join(out, "sheet_order.xlsx"), parts)


def broken(out):
    with open(os.path.join(out, "not_a_zip.xlsx"), "w", encoding="utf-8") as f:
        f.write("姓名,工资\n张三,100\n")
    good = os.path.join(out, "cells_without_r.xlsx")
    with open(good, "rb") as f:
        data = f.read()
    with open(os.path.join(out, "truncated.xlsx"), "wb") as f:
        f.write(data[: len(data) // 2])
    write(os.path.join(out, "missing_workbook.xlsx"), {
        "[Content_Types].xml": CONTENT_TYPES,
        "word/document.xml": "<document/>",
    })
    simple(os.path.join(out, "malformed_xml.xlsx"),
           '<row r="1"><c r="A1"><v>1</v></c></row>\n<row r="2"><c r="A2"><v>2</v></row>')
    simple(os.path.join(out, "bad_cell_ref.xlsx"), '<row r="1"><c r="1A"><v>1</v></c></row>')
    simple(os.path.join(out, "bad_shared_index.xlsx"),
           '<row r="1"><c r="A1" t="s"><v>7</v></c></row>',
           shared='<sst xmlns="%s"><si><t>x</t></si></sst>' % MAIN)
    base = {
        "[Content_Types].xml": CONTENT_TYPES,
        "_rels/.rels": rels([("rId1", "officeDocument", "xl/workbook.xml")]),
        "xl/workbook.xml": workbook_xml([("工资", "rId1")]),
    }
    write(os.path.join(out, "missing_sheet_part.xlsx"), dict(base, **{
        "xl/_rels/workbook.xml.rels": rels([("rId1", "worksheet", "worksheets/sheet1.xml")])}))
    write(os.path.join(out, "missing_sheet_relationship.xlsx"), dict(base, **{
        "xl/_rels/workbook.xml.rels": rels([("rId2", "worksheet", "worksheets/sheet1.xml")]),
        "xl/worksheets/sheet1.xml": sheet_xml("")}))
    # A cell in column A and one in XFD on every row: gaps of 16,382 cells each.
    simple(os.path.join(out, "too_sparse.xlsx"),
           "".join('<row r="%d"><c r="A%d"><v>1</v></c><c r="XFD%d"><v>2</v></c></row>'
                   % (r, r, r) for r in range(1, 2001)))
    # Setting the "encrypted" flag bit of every entry makes the parts unreadable without a
    # password, as a zip protected by a password is.
    plain = os.path.join(out, "encrypted_entries.xlsx")
    simple(plain, '<row r="1"><c r="A1"><v>1</v></c></row>')
    with open(plain, "rb") as f:
        data = bytearray(f.read())
    for sig, offset in ((b"PK\x03\x04", 6), (b"PK\x01\x02", 8)):
        pos = data.find(sig)
        while pos >= 0:
            data[pos + offset] |= 1
            pos = data.find(sig, pos + 4)
    with open(plain, "wb") as f:
        f.write(bytes(data))


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    styled(out)
    cells_without_r(out)
    strict(out)
    strings(out)
    layout(out)
    row_styles(out)
    legacy_encodings(out)
    sheet_order(out)
    broken(out)


if __name__ == "__main__":
    main()
