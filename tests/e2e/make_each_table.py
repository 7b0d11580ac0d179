#!/usr/bin/python3
"""Writes the wage table of the per-person tests (tests/e2e/test_each.py).

Sheet "工资表": the title merged over A1:G1, captions in row 2 (工号 姓名 部门 身份证号 基本工资
实发工资 备注), one person per row from row 3. The names hold what a file name cannot: a
duplicate pair (张三), names equal but for ASCII case (Amy, AMY), "/" and ":" in a name, an empty
name cell and dots around a name. ID numbers are texts of 18 characters, some ending in X; money
is in '#,##0.00'.

Usage: make_each_table.py OUTPUT.xlsx
"""

import sys

import openpyxl
from openpyxl.styles import Alignment, Border, Font, PatternFill, Side

# (work number, name, department, ID number, base pay, net pay)
PERSONS = [
    ("E001", "张三", "财务部", "11010519491231002X", 5200.5, 4890.25),
    ("E002", "李四", "人事部", "110105194912310035", 6100, 5702.1),
    ("E003", "张三", "技术部", "11010519491231004X", 7300, 6620.8),
    ("E004", "财务/王五", "财务部", "110105194912310051", 4800, 4511.0),
    ("E005", "赵六:组长", "销售部", "110105194912310067", 8800.75, 7965.3),
    ("E006", None, "行政部", "110105194912310078", 3900, 3702.45),
    ("E007", "Amy", "技术部", "110105194912310083", 9100, 8205.6),
    ("E008", "AMY", "技术部", "11010519491231009X", 9200, 8290.4),
    ("E009", "..钱七..", "后勤部", "110105194912310106", 4100, 3890.0),
]
CAPTIONS = ["工号", "姓名", "部门", "身份证号", "基本工资", "实发工资", "备注"]


def make_table(path, persons=PERSONS):
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "工资表"
    thin = Side(style="thin", color="FF000000")
    box = Border(left=thin, right=thin, top=thin, bottom=thin)
    ws.merge_cells("A1:G1")
    ws["A1"] = "2026年12月工资条"
    ws["A1"].font = Font(name="宋体", size=16, bold=True)
    ws["A1"].alignment = Alignment(horizontal="center", vertical="center")
    ws.row_dimensions[1].height = 28
    for c, text in enumerate(CAPTIONS, start=1):
        cell = ws.cell(row=2, column=c, value=text)
        cell.font = Font(name="宋体", bold=True)
        cell.fill = PatternFill("solid", fgColor="FFD9E1F2")
        cell.border = box
        cell.alignment = Alignment(horizontal="center")
    for r, (number, name, dept, ident, base, net) in enumerate(persons, start=3):
        for c, value in enumerate([number, name, dept, ident, base, net, "月度"], start=1):
            cell = ws.cell(row=r, column=c, value=value)
            cell.border = box
            cell.font = Font(name="宋体")
            if c in (5, 6):
                cell.number_format = "#,##0.00"
    for letter, width in zip("ABCDEFG", [8, 12, 10, 22, 12, 12, 8]):
        ws.column_dimensions[letter].width = width
    wb.save(path)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    make_table(sys.argv[1])
