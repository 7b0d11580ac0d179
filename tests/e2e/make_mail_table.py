"""Wage tables for the mail tests, made with openpyxl: a title row over a row of column titles
(工号, 姓名, 部门, 邮箱, 身份证号, 基本工资, 绩效, 实发工资), one row per person below.

    python3 make_mail_table.py OUT.xlsx [KIND]   writes the table of KIND (default people):
        people     PEOPLE
        problems   PEOPLE, 李四 (row 4) with 张三's address and 赵六 (row 6) without one
        company    COMPANY, a small company's month
        company-problems   COMPANY with one address given twice and one missing
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

# A small company's month, for the pictures of the sending window.
COMPANY = [
    ("A0101", "陈晓明", "行政部", "chen.xiaoming@example.com", "310104198702153216", 6800, 600),
    ("A0102", "林佳怡", "行政部", "lin.jiayi@example.com", "310105199203084527", 5900, 450),
    ("F0201", "王建国", "财务部", "wang.jianguo@example.com", "31010619801121003X", 9200, 1100),
    ("F0202", "周丽华", "财务部", "zhou.lihua@example.com", "310107198909306648", 7600, 820),
    ("S0301", "刘志强", "销售部", "liu.zhiqiang@example.com", "310108199105172358", 6500, 4280.5),
    ("S0302", "黄思雨", "销售部", "huang.siyu@example.com", "310109199412013664", 6200, 3615),
    ("S0303", "吴俊杰", "销售部", "wu.junjie@example.com", "310110199006254171", 6200, 2950.75),
    ("T0401", "郑浩然", "技术部", "zheng.haoran@example.com", "310112198811092415", 12500, 1800),
    ("T0402", "孙雅琴", "技术部", "sun.yaqin@example.com", "310113199307226823", 11800, 1500),
    ("T0403", "赵子轩", "技术部", "zhao.zixuan@example.com", "310114199509140037", 10600, 1200),
]


def with_addresses(people, changes):
    """`people` with the address of person i replaced by changes[i]."""
    return [p[:3] + (changes[i],) + p[4:] if i in changes else p for i, p in enumerate(people)]


KINDS = {
    "people": PEOPLE,
    "problems": with_addresses(PEOPLE, {1: PEOPLE[0][3], 3: None}),
    "company": COMPANY,
    "company-problems": with_addresses(COMPANY, {5: COMPANY[4][3], 8: None}),
}


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
    write_table(sys.argv[1], KINDS[sys.argv[2] if len(sys.argv) > 2 else "people"])
