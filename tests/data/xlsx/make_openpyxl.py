#!/usr/bin/python3
"""Writes .xlsx files with openpyxl for the reader tests.

Usage: make_openpyxl.py OUTPUT_DIR

openpyxl_styled.xlsx: a wage-table header as openpyxl saves it: a merged title, theme and
indexed colours with tints, borders, built-in and custom number formats, widths, heights,
hidden rows and columns, several sheets. openpyxl_1904.xlsx: a workbook on the 1904 date system.
"""

import datetime
import os
import sys

import openpyxl
from openpyxl.styles import Alignment, Border, Color, Font, PatternFill, Protection, Side
from openpyxl.utils.datetime import CALENDAR_MAC_1904


def styled(path):
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "工资表"
    ws["A1"] = "2026年11月工资表"
    ws.merge_cells("A1:E1")
    ws["A1"].font = Font(name="黑体", size=18, bold=True, color=Color(theme=4, tint=-0.25))
    ws["A1"].alignment = Alignment(horizontal="center", vertical="center")
    ws.row_dimensions[1].height = 30
    thin = Side(style="thin", color=Color(indexed=10))
    heads = ["工号", "姓名", "基本工资", "比例", "发放日期"]
    for i, h in enumerate(heads, start=1):
        c = ws.cell(row=2, column=i, value=h)
        c.font = Font(name="宋体", size=11, bold=True, italic=i == 2)
        c.fill = PatternFill("solid", fgColor=Color(theme=3, tint=0.3999755851924192))
        c.border = Border(left=thin, right=thin, top=thin, bottom=Side(style="double"))
        c.alignment = Alignment(wrap_text=True, horizontal="center")
    ws.cell(row=3, column=1, value="001")
    ws.cell(row=3, column=2, value="王小波")
    c = ws.cell(row=3, column=3, value=3000.5)
    c.number_format = "#,##0.00"
    c = ws.cell(row=3, column=4, value=0.125)
    c.number_format = "0.00%"
    c = ws.cell(row=3, column=5, value=datetime.date(2026, 11, 30))
    c.number_format = "yyyy-mm-dd"
    c = ws.cell(row=3, column=6, value=12)
    c.number_format = "0.0_ ;[Red]-0.0 "
    c.protection = Protection(locked=False)
    ws.column_dimensions["A"].width = 8.5
    ws.column_dimensions["B"].width = 12
    ws.column_dimensions["D"].hidden = True
    ws.row_dimensions[4].hidden = True
    ws.cell(row=4, column=1, value="隐藏行")
    second = wb.create_sheet("第二页")
    second["B2"] = "second"
    wb.save(path)


def epoch1904(path):
    wb = openpyxl.Workbook()
    wb.epoch = CALENDAR_MAC_1904
    ws = wb.active
    ws["A1"] = datetime.date(1904, 1, 2)
    ws["A1"].number_format = "yyyy-mm-dd"
    wb.save(path)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    styled(os.path.join(out, "openpyxl_styled.xlsx"))
    epoch1904(os.path.join(out, "openpyxl_1904.xlsx"))


if __name__ == "__main__":
    main()
