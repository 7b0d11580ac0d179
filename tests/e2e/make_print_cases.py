"""Makes the wage tables on which Quenly's PDF is compared with LibreOffice printing the same
result, each showing one thing a printed slip must get right:

  wrapped_header.xlsx   header labels with line breaks and wrapping, a merged wrapped title,
                        a long course title wrapped in a narrow column, a shrink-to-fit cell;
                        no row heights set (the rows must grow)
  narrow_values.xlsx    dates and amounts in columns they just fit (Arial 10, as libraries
                        write), a General number that loses decimals, an amount that cannot fit
  accounting.xlsx       accounting formats with and without a currency: fill and spacing
  missing_fonts.xlsx    fonts this machine lacks (宋体, 楷体_GB2312, 標楷體, 新細明體, Times New
                        Roman, Tahoma, DengXian, STHeiti, Songti SC): labels of two lines,
                        amounts that nearly fill their columns
  hidden_persons.xlsx   persons hidden by hand, zero high and filtered out; a hidden header row
  no_widths.xlsx        no column widths (baseColWidth 10, a 12-point default font)
  no_widths_xls.xls     the same as BIFF8: DEFCOLWIDTH 10, no COLINFO
  cleared_flags.xls     cell formats (XF) whose used-attribute flags are all clear although they
                        carry their own font, fill, borders, alignment and number format

Run: /usr/bin/python3 tests/e2e/make_print_cases.py FOLDER
"""
import datetime
import os
import struct
import sys
import zipfile

import openpyxl
import xlsxwriter
import xlwt
from openpyxl.styles import Font

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "data", "xls"))
from biff_writer import Cfb, cell, font, number, rec, u16, uni, workbook_stream, xf8  # noqa: E402

SURNAMES = "赵钱孙李周吴郑王冯陈"
GIVEN = "伟芳娜敏静强磊洋艳勇"


def person(k):
    """The name of person k: unique, so that each slip can be found on its page."""
    return SURNAMES[k % 10] + GIVEN[k // 10 % 10] + "%02d" % k


class Case:
    """A source table and the header settings it is exported with."""

    def __init__(self, name, rows, cols, persons, marker):
        self.name = name
        self.rows = rows          # "1-2"
        self.cols = cols          # "A-F"
        self.persons = persons    # names in column A, one per slip
        self.marker = marker      # a header text found once in every slip

    @property
    def header_rows(self):
        first, last = map(int, self.rows.split("-"))
        return last - first + 1

    def batch_args(self):
        return ["--rows", self.rows, "--cols", self.cols]


def patch_sheet(path, old, new):
    """Replaces `old` by `new` in the first sheet's XML of the .xlsx at `path`."""
    with zipfile.ZipFile(path) as z:
        parts = {i.filename: z.read(i.filename) for i in z.infolist()}
    xml = parts["xl/worksheets/sheet1.xml"].decode("utf-8")
    if old not in xml:
        raise RuntimeError("%s: no %s" % (path, old))
    parts["xl/worksheets/sheet1.xml"] = xml.replace(old, new).encode("utf-8")
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for part, data in parts.items():
            z.writestr(part, data)


def default_font(book, name, size):
    """Sets the default format's font of an xlsxwriter workbook (column widths count its
    digits)."""
    book.formats[0].set_font_name(name)
    book.formats[0].set_font_size(size)


def wrapped_header(path):
    book = xlsxwriter.Workbook(path)
    default_font(book, "宋体", 11)
    ws = book.add_worksheet("工资表")
    box = {"border": 1}
    title = book.add_format({"font_name": "黑体", "font_size": 14, "bold": True,
                             "text_wrap": True, "align": "center", "valign": "vcenter"})
    label = book.add_format(dict(box, text_wrap=True, align="center", valign="vcenter",
                                 bold=True, bg_color="#DDEBF7"))
    wrapped = book.add_format(dict(box, text_wrap=True, valign="top"))
    money = book.add_format(dict(box, num_format="#,##0.00"))
    shrink = book.add_format(dict(box, shrink=True))
    plain = book.add_format(box)
    ws.merge_range("A1:F1", "华东精密制造有限公司2016年12月员工工资及继续教育课程补贴发放表", title)
    for c, text in enumerate(["姓名", "课程名称", "调整\n109/7劳保\n109/8劳健保费", "实发\n金额",
                              "备注", "签收"]):
        ws.write(1, c, text, label)
    names = []
    for k in range(16):
        r = 2 + k
        names.append(person(k))
        ws.write(r, 0, person(k), plain)
        ws.write(r, 1, "2016年度企业人力资源管理师（二级）继续教育课程第%d期" % (k + 1), wrapped)
        ws.write(r, 2, 1234.5 + k, money)
        ws.write(r, 3, 3490 + k * 10.25, money)
        ws.write(r, 4, "本月含中秋节福利及加班补贴", shrink)
        ws.write_blank(r, 5, None, plain)
    for c, w in enumerate([10, 12, 12, 11, 8, 8]):
        ws.set_column(c, c, w)
    book.close()
    return Case("wrapped_header", "1-2", "A-F", names, "课程名称")


def narrow_values(path):
    book = xlsxwriter.Workbook(path)
    default_font(book, "Arial", 10)
    ws = book.add_worksheet("工资表")
    box = {"border": 1}
    formats = [book.add_format(dict(box, num_format=f)) for f in
               ["General", "m/d/yy", "m/d/yyyy", "#,##0.00", "General", "#,##0.00"]]
    for c, text in enumerate(["姓名", "日期", "发放日期", "实发", "系数", "年度合计"]):
        ws.write(0, c, text, book.add_format(dict(box, align="center")))
    names = []
    for k in range(12):
        r = 1 + k
        names.append(person(k))
        ws.write(r, 0, person(k), formats[0])
        ws.write_datetime(r, 1, datetime.datetime(2016, 12, 31), formats[1])
        ws.write_datetime(r, 2, datetime.datetime(2016, 12, 31 - k), formats[2])
        ws.write_number(r, 3, 3490 + k, formats[3])
        ws.write_number(r, 4, 1234.5678 + k, formats[4])
        ws.write_number(r, 5, 1234567.89 + k, formats[5])
    for c, w in enumerate([10, 8, 9.6, 7.6, 7, 6]):
        ws.set_column(c, c, w)
    book.close()
    return Case("narrow_values", "1-1", "A-F", names, "发放日期")


# Accounting formats: without a currency, with $, with ¥ as Chinese Excel writes it, and with
# the sign at the left edge. (LibreOffice ignores the fill after a full-width ￥, which Excel
# honours; the half-width ¥ prints alike in both.)
ACCOUNTING = [
    '_(* #,##0.00_);_(* (#,##0.00);_(* "-"??_);_(@_)',
    '_("$"* #,##0.00_);_("$"* (#,##0.00);_("$"* "-"??_);_(@_)',
    '_ ¥* #,##0.00_ ;_ ¥* -#,##0.00_ ;_ ¥* "-"??_ ;_ @_ ',
    '_-[$¥-804]* #,##0.00_-;-[$¥-804]* #,##0.00_-;_-[$¥-804]* "-"??_-;_-@_-',
]


def accounting(path):
    book = xlsxwriter.Workbook(path)
    ws = book.add_worksheet("工资表")
    box = {"border": 1}
    formats = [book.add_format(dict(box, num_format=f)) for f in ACCOUNTING]
    for c, text in enumerate(["姓名", "会计", "美元", "人民币", "扣款"]):
        ws.write(0, c, text, book.add_format(dict(box, align="center")))
    names = []
    values = [1234.5, -1234.5, 0, 98765.43]
    for k in range(12):
        r = 1 + k
        names.append(person(k))
        ws.write(r, 0, person(k), book.add_format(box))
        for c, f in enumerate(formats):
            ws.write_number(r, 1 + c, values[(k + c) % len(values)], f)
    ws.write_string(12, 4, "免扣", formats[3])
    ws.set_column(0, 0, 10)
    ws.set_column(1, 4, 14)
    book.close()
    return Case("accounting", "1-1", "A-E", names, "人民币")


MISSING_FONTS = ["宋体", "楷体_GB2312", "標楷體", "新細明體", "Times New Roman", "Tahoma",
                 "DengXian", "STHeiti", "Songti SC"]


def missing_fonts(path):
    book = xlsxwriter.Workbook(path)
    default_font(book, "宋体", 11)
    ws = book.add_worksheet("工资表")
    names = []
    for c, name in enumerate(MISSING_FONTS):
        f = {"font_name": name, "font_size": 11, "border": 1}
        ws.write(0, 1 + c, "应发工资\n合计" if c % 2 == 0 else "Net pay\nbefore tax",
                 book.add_format(dict(f, align="center", text_wrap=True)))
        money = book.add_format(dict(f, num_format="#,##0.00"))
        for k in range(10):
            ws.write_number(1 + k, 1 + c, 12345.67 + k * 1111, money)
        ws.set_column(1 + c, 1 + c, 10)
    ws.write(0, 0, "姓名", book.add_format({"border": 1}))
    for k in range(10):
        names.append(person(k))
        ws.write(1 + k, 0, person(k), book.add_format({"border": 1, "font_name": "Tahoma"}))
    ws.set_column(0, 0, 10)
    book.close()
    return Case("missing_fonts", "1-1", "A-J", names, "姓名")


def hidden_persons(path):
    book = xlsxwriter.Workbook(path)
    default_font(book, "宋体", 11)
    ws = book.add_worksheet("工资表")
    box = book.add_format({"border": 1})
    ws.merge_range("A1:D1", "2016年12月工资表", book.add_format({"bold": True, "align": "center"}))
    ws.write_row(1, 0, ["内部代码", "C01", "C02", "C03"], box)
    ws.write_row(2, 0, ["姓名", "部门", "基本工资", "实发"], box)
    names = []
    for k in range(10):
        r = 3 + k
        names.append(person(k))
        ws.write_row(r, 0, [person(k), "生产部" if k % 2 else "销售部", 3000 + k, 2800 + k], box)
    ws.set_row(1, None, None, {"hidden": True})   # a header row the clerk hid
    ws.set_row(4, None, None, {"hidden": True})   # a person hidden by hand
    ws.set_row(5, 0)                              # a person zero high (made ht="0" below)
    # An AutoFilter showing the sales department only: the others' rows are hidden.
    ws.autofilter(2, 0, 12, 3)
    ws.filter_column(1, "x == 销售部")
    for k in range(10):
        if k % 2 and 3 + k not in (4, 5):
            ws.set_row(3 + k, None, None, {"hidden": True})
    ws.set_column(0, 3, 11)
    book.close()
    # xlsxwriter writes a row of height 0 as hidden; a row zero high is written ht="0".
    patch_sheet(path, '<row r="6" spans="1:4" hidden="1">', '<row r="6" spans="1:4" ht="0" customHeight="1">')
    return Case("hidden_persons", "1-3", "A-D", names, "基本工资")


def no_widths_xlsx(path):
    book = openpyxl.Workbook()
    book._fonts[0] = Font(name="宋体", sz=12)
    ws = book.active
    ws.title = "工资表"
    ws.sheet_format.baseColWidth = 10
    ws.append(["姓名", "部门", "基本工资", "实发"])
    names = []
    for k in range(6):
        names.append(person(k))
        ws.append([person(k), "生产部", 3000 + k, 2800.5 + k])
    book.save(path)
    return Case("no_widths", "1-1", "A-D", names, "基本工资")


def no_widths_xls(path):
    """A BIFF8 workbook with a 12-point default font, DEFCOLWIDTH 10 and no COLINFO."""
    fonts = [font(8, "宋体", 240, charset=134) for _ in range(4)]
    xfs = [xf8(style=True, used=0) for _ in range(15)] + [xf8(parent=0, used=0x3F)]
    globals_recs = [rec(0x0042, u16(1200)),
                    rec(0x003D, struct.pack("<HHHHHHHHH", 0, 0, 0x4000, 0x3000, 0x38, 0, 0, 1,
                                            600))] + fonts + xfs
    body = [rec(0x0055, u16(10)), rec(0x0225, u16(0) + u16(300))]
    names = []
    for r, row in enumerate([["姓名", "部门", "基本工资", "实发"]] +
                            [[person(k), "生产部", 3000 + k, 2800.5 + k] for k in range(6)]):
        if r:
            names.append(row[0])
        for c, v in enumerate(row):
            body.append(cell(0x0204, r, c, 15, uni(v)) if isinstance(v, str)
                        else number(r, c, 15, float(v)))
    stream = workbook_stream(8, globals_recs, [("工资表", 0, b"".join(body))])
    # A padding record keeps the stream out of the mini stream.
    stream += b"\x00" * max(0, 4200 - len(stream))
    with open(path, "wb") as f:
        f.write(Cfb([("Workbook", stream)]).build())
    return Case("no_widths_xls", "1-1", "A-D", names, "基本工资")


def clear_used_flags(data):
    """Clears the used-attribute flags of every cell XF of a BIFF8 workbook stream, in place:
    record 0x00E0, byte 9 of its data holds them in bits 2-7; bit 2 of byte 4 marks a style
    XF."""
    pos = 0
    cleared = 0
    while pos + 4 <= len(data):
        rid, size = struct.unpack_from("<HH", data, pos)
        if rid == 0x00E0 and size == 20 and not data[pos + 4 + 4] & 0x04:
            data[pos + 4 + 9] &= 0x03
            cleared += 1
        if rid == 0x000A:  # the globals end before the first sheet
            break
        pos += 4 + size
    return cleared


def cleared_flags(path):
    book = xlwt.Workbook(encoding="utf-8")
    ws = book.add_sheet("工资表")
    head = xlwt.easyxf("font: name Tahoma, height 200, bold on, colour white;"
                       "align: horiz center, vert center;"
                       "borders: left thin, right thin, top thin, bottom thin,"
                       "left_colour grey50, right_colour grey50, top_colour grey50,"
                       "bottom_colour grey50; pattern: pattern solid, fore_colour dark_blue")
    money = xlwt.easyxf("font: name Tahoma, height 200; borders: left thin, right thin,"
                        "top thin, bottom thin", num_format_str="#,##0.00")
    body = xlwt.easyxf("font: name Tahoma, height 200; borders: left thin, right thin,"
                       "top thin, bottom thin")
    for c, text in enumerate(["姓名", "基本工资", "绩效", "实发"]):
        ws.write(0, c, text, head)
    names = []
    for k in range(6):
        names.append(person(k))
        ws.write(1 + k, 0, person(k), body)
        for c in range(1, 4):
            ws.write(1 + k, c, 1000 * c + k + 0.5, money)
    for c in range(4):
        ws.col(c).width = 12 * 256
    book.save(path)
    # The compound file keeps the workbook stream whole: patch it where it lies.
    with open(path, "rb") as f:
        data = bytearray(f.read())
    start = data.find(b"\x09\x08\x10\x00\x00\x06\x05\x00")  # the globals' BOF
    stream = data[start:]
    if clear_used_flags(stream) == 0:
        raise RuntimeError("no cell XF found in " + path)
    data[start:] = stream
    with open(path, "wb") as f:
        f.write(data)
    return Case("cleared_flags", "1-1", "A-D", names, "基本工资")


MAKERS = [
    ("wrapped_header.xlsx", wrapped_header),
    ("narrow_values.xlsx", narrow_values),
    ("accounting.xlsx", accounting),
    ("missing_fonts.xlsx", missing_fonts),
    ("hidden_persons.xlsx", hidden_persons),
    ("no_widths.xlsx", no_widths_xlsx),
    ("no_widths_xls.xls", no_widths_xls),
    ("cleared_flags.xls", cleared_flags),
]


def make_all(folder):
    """Writes every table into `folder`; returns {file path: Case}."""
    os.makedirs(str(folder), exist_ok=True)
    made = {}
    for file_name, maker in MAKERS:
        path = os.path.join(str(folder), file_name)
        made[path] = maker(path)
    return made


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: make_print_cases.py FOLDER")
    os.makedirs(sys.argv[1], exist_ok=True)
    for path, case in make_all(sys.argv[1]).items():
        print(path, " ".join(case.batch_args()))
