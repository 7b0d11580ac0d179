"""Makes xlwt_wages.xls: a wage table as xlwt (a BIFF8 writer) saves it, with fonts, borders,
fills, number formats, merges, widths, heights, hidden rows and columns, formulas, rich text and
enough distinct texts for the shared string table to need CONTINUE records.
Run: /usr/bin/python3 tests/data/xls/make_xlwt.py (writes beside this script)."""
import datetime
import os

import xlwt

HERE = os.path.dirname(os.path.abspath(__file__))

book = xlwt.Workbook(encoding="utf-8")
sheet = book.add_sheet("工资条")
book.add_sheet("其他")

title = xlwt.easyxf("font: name 黑体, height 320, bold on; align: horiz center, vert center;"
                    "pattern: pattern solid, fore_colour yellow")
header = xlwt.easyxf("font: name 宋体, height 220, colour red; align: wrap on, horiz center;"
                     "borders: left thin, right medium, top dashed, bottom double,"
                     "bottom_colour blue; pattern: pattern solid, fore_colour gray25")
money = xlwt.easyxf("font: italic on, underline single, struck_out on", num_format_str="#,##0.00")
date = xlwt.easyxf("align: rotation 90", num_format_str="yyyy-mm-dd")
percent = xlwt.easyxf("align: indent 2, horiz left", num_format_str="0.00%")
hidden_text = xlwt.easyxf("protection: cell_locked false, formula_hidden true")

sheet.write_merge(0, 0, 0, 4, "二〇二四年一月工资", title)
for c, h in enumerate(["姓名", "基本工资", "发放日期", "比例", "合计"]):
    sheet.write(1, c, h, header)
sheet.write(2, 0, "张三")
sheet.write(2, 1, 1234.5, money)
sheet.write(2, 2, datetime.date(2024, 1, 31), date)
sheet.write(2, 3, 0.125, percent)
sheet.write(2, 4, xlwt.Formula("B3*2"))
sheet.write(3, 0, "李四", hidden_text)
sheet.write(3, 1, -20, money)
sheet.write(3, 2, True)
sheet.write(3, 3, False)
sheet.write(3, 4, "", header)  # a blank cell that keeps its style
sheet.write_rich_text(4, 0, ["普通", ("加粗", xlwt.easyfont("bold on, colour green")), "尾"])
for i in range(1500):
    sheet.write(6 + i, 0, "员工编号第%05d号" % i)
    sheet.write(6 + i, 1, i * 1.5)

sheet.col(0).width = 20 * 256
sheet.col(1).width = 12 * 256 + 128
sheet.col(3).hidden = True
sheet.row(0).height_mismatch = True
sheet.row(0).height = 600
sheet.row(5).hidden = True

book.save(os.path.join(HERE, "xlwt_wages.xls"))
