#!/usr/bin/python3
"""Writes .xlsx files with xlsxwriter for the reader tests.

Usage: make_xlsxwriter.py OUTPUT_DIR

xlsxwriter_values.xlsx: rich strings, formulas with cached results of every type, booleans,
dates, a merged range, widths, heights and hidden columns, and a second sheet.
xlsxwriter_inline.xlsx: the same kind of data in constant_memory mode (inline strings).
"""

import datetime
import os
import sys

import xlsxwriter


def values(path):
    wb = xlsxwriter.Workbook(path)
    ws = wb.add_worksheet("数据")
    bold_red = wb.add_format({"bold": True, "font_color": "#FF0000", "font_name": "宋体"})
    italic = wb.add_format({"italic": True, "font_size": 9})
    money = wb.add_format({"num_format": "#,##0.00", "bg_color": "#FFFF00", "border": 1})
    date = wb.add_format({"num_format": "yyyy/m/d"})
    title = wb.add_format({"bold": True, "align": "center", "valign": "vcenter",
                           "font_size": 16})
    ws.merge_range("A1:D1", "工资条", title)
    ws.write_rich_string("A2", "普通", bold_red, "红色加粗", italic, "斜体")
    ws.write_formula("B2", '="a"&"b"', None, "ab")
    ws.write_formula("C2", "=1+1", money, 2)
    ws.write_formula("D2", "=TRUE()", None, True)
    ws.write_formula("E2", "=NA()", None, "#N/A")
    ws.write_boolean("F2", False)
    ws.write_datetime("G2", datetime.datetime(2026, 11, 30, 18, 0), date)
    ws.write_number("H2", -1234.5678, money)
    ws.write_string("I2", "")
    ws.write_blank("J2", None, money)
    ws.set_column("A:A", 20)
    ws.set_column("C:D", 5, None, {"hidden": True})
    ws.set_row(1, 40)
    ws.set_row(2, None, None, {"hidden": True})
    ws.write("A3", "hidden row")
    other = wb.add_worksheet("其他")
    other.write("A1", "other")
    wb.close()


def inline(path):
    wb = xlsxwriter.Workbook(path, {"constant_memory": True})
    ws = wb.add_worksheet("内联")
    fmt = wb.add_format({"bold": True})
    for r in range(50):
        ws.write_string(r, 0, "姓名%d" % r, fmt)
        ws.write_number(r, 1, r * 1.5)
        ws.write_string(r, 3, "x & <y>")
    wb.close()


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    values(os.path.join(out, "xlsxwriter_values.xlsx"))
    inline(os.path.join(out, "xlsxwriter_inline.xlsx"))


if __name__ == "__main__":
    main()
