#!/usr/bin/python3
"""Makes examples/工资表示例.xlsx: a small wage table to try Quenly on.

Run with Debian's python3 (it has xlsxwriter): /usr/bin/python3 examples/make_example.py
The table: a title row merged across the columns, a bordered header row, twenty persons with
money in "#,##0.00" and formulas whose results are stored with them, and set column widths.
Header settings for it: rows 1 to 2 (the title and the column names), columns A to J.
"""
import datetime
import os
import sys

import xlsxwriter

HERE = os.path.dirname(os.path.abspath(__file__))
OUTPUT = os.path.join(HERE, "工资表示例.xlsx")

HEADERS = ["工号", "姓名", "部门", "基本工资", "岗位津贴", "绩效奖金", "应发工资",
           "社保扣款", "个人所得税", "实发工资"]
WIDTHS = [8, 10, 12, 12, 12, 12, 13, 12, 12, 13]

PERSONS = [
    ("张伟", "财务部"), ("王芳", "人事部"), ("李娜", "销售部"), ("刘洋", "技术部"),
    ("陈静", "技术部"), ("杨帆", "销售部"), ("赵磊", "生产部"), ("黄敏", "财务部"),
    ("周杰", "技术部"), ("吴婷", "人事部"), ("徐强", "生产部"), ("孙丽", "销售部"),
    ("马超", "生产部"), ("朱琳", "技术部"), ("胡军", "后勤部"), ("郭燕", "财务部"),
    ("何平", "后勤部"), ("高翔", "销售部"), ("林晓", "技术部"), ("罗兰", "人事部"),
]


def tax(taxable):
    """Monthly withholding on the part above 5,000 (the first brackets are enough here)."""
    over = taxable - 5000
    if over <= 0:
        return 0.0
    if over <= 3000:
        return round(over * 0.03, 2)
    if over <= 12000:
        return round(over * 0.10 - 210, 2)
    return round(over * 0.20 - 1410, 2)


def main():
    book = xlsxwriter.Workbook(OUTPUT)
    # A fixed date keeps the made file the same from run to run.
    book.set_properties({"title": "工资表示例", "author": "Quenly",
                         "created": datetime.datetime(2024, 12, 1, 9, 0, 0)})
    sheet = book.add_worksheet("工资表")

    title = book.add_format({"bold": True, "font_size": 16, "font_name": "宋体",
                             "align": "center", "valign": "vcenter"})
    header = book.add_format({"bold": True, "font_name": "宋体", "font_size": 11,
                              "align": "center", "valign": "vcenter", "border": 1,
                              "bg_color": "#DDEBF7", "text_wrap": True})
    text = book.add_format({"font_name": "宋体", "border": 1, "align": "center"})
    money = book.add_format({"font_name": "宋体", "border": 1, "num_format": "#,##0.00"})
    total = book.add_format({"font_name": "宋体", "border": 1, "num_format": "#,##0.00",
                             "bold": True, "font_color": "#C00000"})

    last_col = len(HEADERS) - 1
    sheet.merge_range(0, 0, 0, last_col, "2024年12月工资表", title)
    sheet.set_row(0, 30)
    sheet.set_row(1, 20.25)
    for col, (name, width) in enumerate(zip(HEADERS, WIDTHS)):
        sheet.write_string(1, col, name, header)
        sheet.set_column(col, col, width)

    for i, (name, dept) in enumerate(PERSONS):
        row = i + 2
        excel_row = row + 1
        base = 4000 + (i * 730) % 6000
        allowance = 500 + (i % 4) * 250
        bonus = round(800 + (i * 377.5) % 2500, 2)
        gross = base + allowance + bonus
        social = round(base * 0.105, 2)
        income_tax = tax(gross - social)
        net = round(gross - social - income_tax, 2)
        sheet.write_string(row, 0, "%03d" % (i + 1), text)
        sheet.write_string(row, 1, name, text)
        sheet.write_string(row, 2, dept, text)
        sheet.write_number(row, 3, base, money)
        sheet.write_number(row, 4, allowance, money)
        sheet.write_number(row, 5, bonus, money)
        sheet.write_formula(row, 6, "=SUM(D%d:F%d)" % (excel_row, excel_row), money, gross)
        sheet.write_formula(row, 7, "=ROUND(D%d*0.105,2)" % excel_row, money, social)
        sheet.write_number(row, 8, income_tax, money)
        sheet.write_formula(row, 9, "=G%d-H%d-I%d" % (excel_row, excel_row, excel_row), total,
                            net)
    sheet.freeze_panes(2, 0)
    book.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
