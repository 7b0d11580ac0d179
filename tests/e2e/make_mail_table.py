"""Wage tables for the mail tests, made with openpyxl: a title row over a row of column titles
(工号, 姓名, 部门, 邮箱, 身份证号, 基本工资, 绩效, 实发工资), one row per person below.

    python3 make_mail_table.py OUT.xlsx   writes the table of PEOPLE
"""
import sys

import openpyxl
from openpyxl.styles import Font

TITLES = ["工号", "姓名", "部门", "邮箱", "身份证号", "基本工资", "绩效", "实发工资"]

# (工号, 姓名, 部门, 邮箱, 身份证号, 基本工资, 绩效); 实发工资 is their sum.
PEOPLE = [
    ("E001", "张三", "财务部", "zhang.san@example.com", "110101199001011234", 8000, 1200.5),
    ("E002", "李四", "销售部", "li.si@example.com", "11010119900202567X", 7500, 3100.25),
    ("E003", "王五", "技术部", "wang.wu@example.com", "110101198803031111", 9800, 450),
    ("E004", "赵六", "技术部", "zhao.liu@example.com", "110101199504042222", 6200, 980.75),
]


def shown_pay(person):
    """实发工资 as the table shows it (#,##0.00)."""
    return "{:,.2f}".format(person[5] + person[6])


def write_table(path, people=PEOPLE):
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "工资表"
    sheet["A1"] = "2026年11月工资表"
    sheet["A1"].font = Font(bold=True, size=14)
    sheet.merge_cells(start_row=1, start_column=1, end_row=1, end_column=len(TITLES))
    for col, title in enumerate(TITLES, start=1):
        sheet.cell(row=2, column=col, value=title).font = Font(bold=True)
    for row, person in enumerate(people, start=3):
        for col, value in enumerate(person, start=1):
            sheet.cell(row=row, column=col, value=value)
        sheet.cell(row=row, column=8, value=person[5] + person[6])
        for col in (6, 7, 8):
            sheet.cell(row=row, column=col).number_format = "#,##0.00"
    for col, width in zip("ABCDEFGH", (8, 8, 10, 26, 22, 12, 12, 12)):
        sheet.column_dimensions[col].width = width
    book.save(path)


if __name__ == "__main__":
    write_table(sys.argv[1])
