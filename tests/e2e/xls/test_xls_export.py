"""The pay slips of an .xls wage table equal, cell for cell, those of the same table saved as
.xlsx: the .xls reader keeps every value, font, fill, border, number format, merge, width and
height that the .xlsx reader keeps."""
import datetime
import os
import shutil
import subprocess

import openpyxl
import pytest
import xlwt
from openpyxl.styles import Alignment, Border, Font, PatternFill, Side

SOURCE_DIR = os.environ.get("QUENLY_SOURCE_DIR",
                            os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
BATCH = os.environ.get("QUENLY_BATCH", os.path.join(SOURCE_DIR, "build", "bin", "quenly-batch"))
DATA = os.path.join(SOURCE_DIR, "tests", "data", "xls")

COLUMNS = ["工号", "姓名", "基本工资", "比例", "发放日期", "备注"]
WIDTHS = [10, 14, 12.5, 9, 12, 20]
PERSONS = [
    ("001", "张三", 5200.5, 0.125, datetime.date(2024, 1, 31), "中秋福利计入个税"),
    ("002", "李四", -20, 0.5, datetime.date(2024, 2, 29), ""),
    ("003", "王五", 0, 1, datetime.date(2024, 12, 1), "备注\n两行"),
]
# Palette colours, so that both formats hold the same RGB.
YELLOW, GRAY, TURQUOISE, RED, BLUE = "FFFFFF00", "FFC0C0C0", "FFCCFFFF", "FFFF0000", "FF0000FF"


def make_xls(path):
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("工资表")
    title = xlwt.easyxf("font: name 黑体, height 360, bold on; align: horiz center, vert center;"
                        "pattern: pattern solid, fore_colour yellow")
    head = xlwt.easyxf("font: name 宋体, height 220, bold on, colour red;"
                       "align: horiz center, vert center, wrap on;"
                       "borders: left thin, right thin, top medium, bottom double,"
                       "bottom_colour blue; pattern: pattern solid, fore_colour gray25")
    body = "font: name 宋体, height 220; borders: left thin, right thin, top thin, bottom thin;"
    formats = [xlwt.easyxf(body + "pattern: pattern solid, fore_colour light_turquoise"),
               xlwt.easyxf(body + "font: italic on"),
               xlwt.easyxf(body, num_format_str="#,##0.00"),
               xlwt.easyxf(body, num_format_str="0.00%"),
               xlwt.easyxf(body, num_format_str="yyyy-mm-dd"),
               xlwt.easyxf(body + "align: wrap on")]
    sheet.write_merge(0, 0, 0, 5, "二〇二四年工资表", title)
    for c, text in enumerate(COLUMNS):
        sheet.write(1, c, text, head)
    for r, person in enumerate(PERSONS):
        for c, value in enumerate(person):
            sheet.write(2 + r, c, value, formats[c])
    for c, w in enumerate(WIDTHS):
        sheet.col(c).width = int(w * 256)
    for r, h in [(0, 36), (1, 24.75)]:
        sheet.row(r).height_mismatch = True
        sheet.row(r).height = int(h * 20)
    book.save(str(path))


def make_xlsx(path):
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "工资表"
    thin = Side(style="thin")
    sheet.merge_cells("A1:F1")
    for c in range(1, 7):
        cell = sheet.cell(1, c)
        cell.font = Font(name="黑体", sz=18, b=True)
        cell.alignment = Alignment(horizontal="center", vertical="center")
        cell.fill = PatternFill("solid", fgColor=YELLOW)
    sheet["A1"] = "二〇二四年工资表"
    for c, text in enumerate(COLUMNS, 1):
        cell = sheet.cell(2, c, text)
        cell.font = Font(name="宋体", sz=11, b=True, color=RED)
        cell.alignment = Alignment(horizontal="center", vertical="center", wrap_text=True)
        cell.border = Border(left=thin, right=thin, top=Side(style="medium"),
                             bottom=Side(style="double", color=BLUE))
        cell.fill = PatternFill("solid", fgColor=GRAY)
    formats = ["General", "General", "#,##0.00", "0.00%", "yyyy-mm-dd", "General"]
    for r, person in enumerate(PERSONS, 3):
        for c, value in enumerate(person, 1):
            cell = sheet.cell(r, c, value)
            cell.font = Font(name="宋体", sz=11, i=(c == 2))
            cell.border = Border(left=thin, right=thin, top=thin, bottom=thin)
            cell.number_format = formats[c - 1]
            if c == 1:
                cell.fill = PatternFill("solid", fgColor=TURQUOISE)
            if c == 6:
                cell.alignment = Alignment(wrap_text=True)
    for c, w in enumerate(WIDTHS, 1):
        sheet.column_dimensions[openpyxl.utils.get_column_letter(c)].width = w
    sheet.row_dimensions[1].height = 36
    sheet.row_dimensions[2].height = 24.75
    sheet.sheet_format.defaultRowHeight = 12.75  # as xlwt's DEFAULTROWHEIGHT
    book.save(str(path))


def color_of(color):
    if color is None or color.type != "rgb" or not isinstance(color.rgb, str):
        return None
    return color.rgb.upper()


def look(cell):
    font, fill, border, align = cell.font, cell.fill, cell.border, cell.alignment
    return {
        "value": cell.value,
        "font": (font.name, float(font.sz or 11), bool(font.b), bool(font.i), font.u or None,
                 bool(font.strike), color_of(font.color)),
        "fill": (fill.patternType or None, color_of(fill.fgColor) if fill.patternType else None),
        "border": tuple((side.style or None, color_of(side.color) if side.style else None)
                        for side in (border.left, border.right, border.top, border.bottom)),
        "alignment": (align.horizontal or None, align.vertical or None, bool(align.wrap_text)),
        "number_format": cell.number_format,
    }


def export(tmp_path, source, result, *options):
    if not os.path.exists(BATCH):
        pytest.fail("quenly-batch not found at %s (set QUENLY_BATCH)" % BATCH)
    # A private copy, so that the sys.ini beside it is this test's own.
    batch = tmp_path / "quenly-batch"
    if not batch.exists():
        shutil.copy2(BATCH, batch)
    return subprocess.run([str(batch), str(source), str(result), *options], capture_output=True,
                          text=True, timeout=300)


def test_xls_and_xlsx_of_one_table_give_the_same_slips(tmp_path):
    xls, xlsx = tmp_path / "工资表.xls", tmp_path / "工资表.xlsx"
    make_xls(xls)
    make_xlsx(xlsx)
    results = []
    for source in (xls, xlsx):
        result = tmp_path / (source.suffix[1:] + "-slips.xlsx")
        done = export(tmp_path, source, result, "--rows", "1-2", "--cols", "A-F")
        assert done.returncode == 0, done.stderr
        results.append(openpyxl.load_workbook(result).worksheets[0])
    a, b = results
    assert a.max_row == b.max_row == len(PERSONS) * 4 - 1
    assert sorted(map(str, a.merged_cells.ranges)) == sorted(map(str, b.merged_cells.ranges))
    assert len(a.merged_cells.ranges) == len(PERSONS)
    for row in range(1, a.max_row + 1):
        if row % 4 == 0:
            continue  # the empty row after each slip
        for col in range(1, 7):
            x, y = look(a.cell(row, col)), look(b.cell(row, col))
            if x["value"] is None and y["value"] is None:
                # A blank cell shows its workbook's default font, which the slips take from
                # their source: xlwt's Arial 10 and openpyxl's Calibri 11 differ.
                del x["font"], y["font"]
            assert x == y, (row, col)
        if row % 4 != 3:
            # The header rows keep their heights. A person's row, at the default height, prints
            # as tall as its 宋体 11 needs in the proportion of the default height to the default
            # font, which differ (xlwt's Arial 10, 12.75 pt; openpyxl's Calibri 11, 15 pt).
            assert a.row_dimensions[row].height == b.row_dimensions[row].height, row
    for col in range(1, 7):
        letter = openpyxl.utils.get_column_letter(col)
        assert a.column_dimensions[letter].width == pytest.approx(WIDTHS[col - 1]), letter
        assert b.column_dimensions[letter].width == pytest.approx(WIDTHS[col - 1]), letter
    # The values came through: text, money, dates.
    assert a["B3"].value == "张三" and a["C3"].value == 5200.5
    assert a["E7"].value == datetime.datetime(2024, 2, 29)


def test_biff5_workbook_in_code_page_936(tmp_path):
    result = tmp_path / "slips.xlsx"
    done = export(tmp_path, os.path.join(DATA, "biff5_cp936.xls"), result,
                  "--rows", "1-1", "--cols", "A-B")
    assert done.returncode == 0, done.stderr
    out = openpyxl.load_workbook(result).worksheets[0]
    assert [out.cell(1, c).value for c in (1, 2)] == ["姓名", "基本工资"]
    assert [out.cell(2, c).value for c in (1, 2)] == ["张三", 5000.5]
    assert out.cell(1, 1).font.name == "黑体"
    assert out.cell(2, 2).number_format == '0.00"元"'
    assert [out.cell(4, c).value for c in (1, 2)] == ["姓名", "基本工资"]
    assert out.cell(5, 1).value == "加班费合计"


@pytest.mark.parametrize("name, words", [
    ("filepass.xls", "设有打开密码"),
    ("fat_chain_loop.xls", "形成循环"),
    ("short_labelsst.xls", "LABELSST"),
])
def test_protected_or_broken_xls_fails_with_the_reason(tmp_path, name, words):
    source = os.path.join(DATA, name)
    result = tmp_path / "slips.xlsx"
    done = export(tmp_path, source, result, "--rows", "1-1", "--cols", "A-B")
    assert done.returncode != 0
    assert words in done.stderr and name in done.stderr, done.stderr
    assert not result.exists()
