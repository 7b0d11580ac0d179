"""Makes the .xlsx and INI seed files of the fuzzers in tests/data/fuzz/xlsx and tests/data/fuzz/ini.

Run with /usr/bin/python3 (openpyxl and xlsxwriter). Most .xlsx seeds are repacked without
compression, so that the fuzzer's changes reach the XML instead of breaking the deflate stream.
"""

import datetime
import io
import pathlib
import sys
import zipfile

import openpyxl
import xlsxwriter
from openpyxl.styles import Alignment, Border, Font, PatternFill, Side

HERE = pathlib.Path(__file__).resolve().parent


def stored(data, drop=()):
    """The package `data` repacked with every entry stored, leaving out the parts in `drop`."""
    out = io.BytesIO()
    with zipfile.ZipFile(io.BytesIO(data)) as src, zipfile.ZipFile(out, "w", zipfile.ZIP_STORED) as dst:
        for info in src.infolist():
            if info.filename not in drop:
                dst.writestr(info.filename, src.read(info.filename))
    return out.getvalue()


def openpyxl_wages():
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "工资"
    ws["A1"] = "2024年5月工资表"
    ws.merge_cells("A1:E1")
    ws["A1"].font = Font(name="宋体", size=14, bold=True, color="FF0000")
    ws["A1"].alignment = Alignment(horizontal="center")
    thin = Side(style="thin", color="000000")
    header = ["工号", "姓名", "基本工资", "发放日", "在职"]
    for col, text in enumerate(header, 1):
        c = ws.cell(row=2, column=col, value=text)
        c.fill = PatternFill("solid", fgColor="DDEBF7")
        c.border = Border(left=thin, right=thin, top=thin, bottom=thin)
    ws.append([1001, "张三", 5234.5, datetime.date(2024, 5, 31), True])
    ws.append([1002, "李四", "=C3*1.1", datetime.date(2024, 5, 31), False])
    ws["C3"].number_format = "#,##0.00"
    ws.column_dimensions["B"].width = 12
    ws.row_dimensions[1].height = 24
    ws2 = wb.create_sheet("备注")
    ws2["B2"] = "说明"
    buf = io.BytesIO()
    wb.save(buf)
    return buf.getvalue()


def xlsxwriter_rich():
    buf = io.BytesIO()
    wb = xlsxwriter.Workbook(buf, {"in_memory": True})
    ws = wb.add_worksheet("表1")
    bold = wb.add_format({"bold": True, "font_color": "#1F497D", "border": 1})
    money = wb.add_format({"num_format": "¥#,##0.00", "bg_color": "#FFF2CC"})
    date = wb.add_format({"num_format": "yyyy-mm-dd"})
    ws.merge_range("A1:C1", "部门工资", bold)
    ws.write_rich_string("A2", "姓名", bold, "（全名）")
    ws.write("B2", "金额", bold)
    ws.write_number("B3", 1234.56, money)
    ws.write_datetime("C3", datetime.datetime(2024, 1, 2, 8, 30), date)
    ws.write_boolean("A4", True)
    ws.write_formula("B4", "=B3*2", money, 2469.12)
    ws.set_column("A:A", 18)
    ws.set_row(2, 30)
    wb.close()
    return buf.getvalue()


# A package written by hand: inline strings, every value type, rows and cells without "r".
HANDMADE = {
    "[Content_Types].xml": '<?xml version="1.0" encoding="UTF-8"?>'
    '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
    '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
    '<Default Extension="xml" ContentType="application/xml"/></Types>',
    "_rels/.rels": '<?xml version="1.0" encoding="UTF-8"?>'
    '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
    '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
    'relationships/officeDocument" Target="xl/workbook.xml"/></Relationships>',
    "xl/workbook.xml": '<?xml version="1.0" encoding="UTF-8"?>'
    '<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
    'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">'
    '<workbookPr date1904="1"/><sheets><sheet name="S" sheetId="1" r:id="rId1"/></sheets></workbook>',
    "xl/_rels/workbook.xml.rels": '<?xml version="1.0" encoding="UTF-8"?>'
    '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
    '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
    'relationships/worksheet" Target="/xl/worksheets/sheet1.xml"/>'
    '<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
    'relationships/styles" Target="styles.xml"/></Relationships>',
    "xl/styles.xml": '<?xml version="1.0" encoding="UTF-8"?>'
    '<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
    '<numFmts count="1"><numFmt numFmtId="164" formatCode="0.0%"/></numFmts>'
    '<fonts count="2"><font><sz val="11"/><name val="Calibri"/></font>'
    '<font><b/><i/><u val="double"/><color theme="4" tint="0.4"/><sz val="9"/></font></fonts>'
    '<fills count="2"><fill><patternFill patternType="none"/></fill>'
    '<fill><gradientFill><stop position="0"><color rgb="FF0000FF"/></stop>'
    '<stop position="1"><color indexed="10"/></stop></gradientFill></fill></fills>'
    '<borders count="1"><border><left style="thin"><color auto="1"/></left></border></borders>'
    '<cellXfs count="2"><xf/><xf numFmtId="164" fontId="1" fillId="1" borderId="0" '
    'applyNumberFormat="1"><alignment wrapText="1"/></xf></cellXfs></styleSheet>',
    "xl/worksheets/sheet1.xml": '<?xml version="1.0" encoding="UTF-8"?>'
    '<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
    '<dimension ref="A1:D3"/><sheetFormatPr defaultRowHeight="15" baseColWidth="10"/>'
    '<cols><col min="1" max="2" width="9.5" customWidth="1" style="1"/></cols><sheetData>'
    '<row r="1" s="1" customFormat="1" ht="20" customHeight="1">'
    '<c r="A1" t="inlineStr"><is><r><rPr><b/></rPr><t>工_x0041_资</t></r><rPh><t>x</t></rPh></is></c>'
    '<c r="C1" t="b"><v>1</v></c><c t="e"><v>#N/A</v></c></row>'
    '<row><c t="d"><v>2024-02-29T12:00:00</v></c><c s="1"><v>0.125</v></c>'
    '<c t="str"><v>公式</v></c></row>'
    '<row r="5" hidden="1"><c r="D5" t="e"><v>#SPILL!</v></c></row></sheetData>'
    '<mergeCells count="1"><mergeCell ref="A1:B1"/></mergeCells></worksheet>',
}


def handmade():
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_STORED) as z:
        for name, text in HANDMADE.items():
            z.writestr(name, text.encode("utf-8"))
    return out.getvalue()


INI = {
    "sys.ini": "[option]\r\nStartTitleRow=1\r\nEndTitleRow=2\r\nStartTitleCol=A\r\nEndTitleCol=M\r\n",
    "quoted_bom.ini": "\ufeff; 设置\n[Option]\n  StartTitleRow = \"3\" \nEndTitleCol='Z'\n[other]\nKept=1",
    "odd_lines.ini": "key=above\r\n[option\r\n[ option ]\r\nno equals\r\n=empty\r\nEndTitleRow=\r\n"
    "[option]\r\nEndTitleRow=9\r\n\r\n;end",
}


def main():
    xlsx = HERE / "xlsx"
    ini = HERE / "ini"
    xlsx.mkdir(exist_ok=True)
    ini.mkdir(exist_ok=True)
    wages = openpyxl_wages()
    rich = xlsxwriter_rich()
    props = {"docProps/app.xml", "docProps/core.xml"}
    (xlsx / "openpyxl_wages.xlsx").write_bytes(wages)
    (xlsx / "openpyxl_wages_stored.xlsx").write_bytes(stored(wages, props))
    (xlsx / "xlsxwriter_rich_stored.xlsx").write_bytes(stored(rich, props))
    (xlsx / "handmade_stored.xlsx").write_bytes(handmade())
    for name, text in INI.items():
        (ini / name).write_bytes(text.encode("utf-8"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
