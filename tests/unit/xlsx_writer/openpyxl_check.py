"""Opens the writer's sample workbook and a pay-slip workbook with openpyxl and checks what it reads.

Usage: openpyxl_check.py SAMPLE.xlsx SLIPS.xlsx; exits non-zero naming every difference.
"""
import sys
import warnings

import openpyxl

failures = []


def check(what, got, want):
    if got != want:
        failures.append(f"{what}: got {got!r}, want {want!r}")


def check_sample(path):
    with warnings.catch_warnings():
        warnings.simplefilter("error")  # a warning means openpyxl had to guess or repair
        wb = openpyxl.load_workbook(path)
    check("sheet names", wb.sheetnames, ["工资表", "第二页"])
    check("active sheet", wb.active.title, "第二页")
    check("date1904", wb.epoch.year, 1904)
    ws = wb["工资表"]
    values = {
        "A1": "2026年12月 工资条", "A2": "姓名", "D2": "备注", "A3": "张三", "B3": 8500.5,
        "C3": 0.1 + 0.2, "D3": " 前后空格 ", "A4": "李四&<>\"'", "B4": -1234.5, "C4": True,
        "D4": "#N/A", "A5": 1e21, "A6": None, "C6": None, "A8": "红色普通", "C8": "张三",
    }
    for ref, want in values.items():
        check(f"value {ref}", ws[ref].value, want)
    check("merges", [str(r) for r in ws.merged_cells.ranges], ["A1:D1"])
    a1 = ws["A1"]
    check("A1 bold", a1.font.b, True)
    check("A1 size", a1.font.sz, 14)
    check("A1 font", a1.font.name, "宋体")
    check("A1 colour", a1.font.color.rgb, "FFFF0000")
    check("A1 fill", (a1.fill.fill_type, a1.fill.fgColor.rgb), ("solid", "FFFFFF00"))
    check("A1 align", (a1.alignment.horizontal, a1.alignment.vertical), ("center", "center"))
    check("D1 border", (ws["D1"].border.top.style, ws["D1"].border.right.style), ("thin", "thin"))
    check("C6 border", ws["C6"].border.left.style, "thin")
    check("A6 style", ws["A6"].has_style, False)
    check("A2 format", ws["A2"].number_format, "@")
    check("B3 format", ws["B3"].number_format, "#,##0.00")
    check("B4 format", ws["B4"].number_format, '"¥"#,##0.00')
    check("B4 unlocked", ws["B4"].protection.locked, False)
    check("E7 format", ws["E7"].number_format, 'yyyy"年"m"月"')
    check("E7 rotation", (ws["E7"].alignment.textRotation, ws["E7"].alignment.wrap_text), (90, True))
    check("E7 fill", ws["E7"].fill.fill_type, "gray125")
    check("A width", ws.column_dimensions["A"].width, 12)
    b = ws.column_dimensions["B"]
    check("B:C run", (b.min, b.max, b.width, b.customWidth), (2, 3, 15.25, True))
    check("D hidden", (ws.column_dimensions["D"].hidden, ws.column_dimensions["D"].width), (True, 9))
    check("row 1 height", ws.row_dimensions[1].height, 24)
    check("row 5 hidden", ws.row_dimensions[5].hidden, True)
    check("row 10 height", ws.row_dimensions[10].height, 30)
    check("default row height", ws.sheet_format.defaultRowHeight, 13.5)
    check("paper", (ws.page_setup.paperSize, ws.page_setup.orientation), (9, "portrait"))
    check("scale, not fit to page",
          (ws.page_setup.scale, ws.sheet_properties.pageSetUpPr.fitToPage), (100, None))
    check("centred", ws.print_options.horizontalCentered, True)
    check("print area", ws.print_area, ['$A$1:$E$8'])
    second = wb["第二页"]
    check("second AB3", second["AB3"].value, "张三")
    check("second dims", second.dimensions, "A1:AB3")


def check_slips(path):
    wb = openpyxl.load_workbook(path, read_only=False)
    ws = wb.active
    check("slip rows", ws.max_row, 799)
    check("slip cols", ws.max_column, 25)
    check("slip merges", len(ws.merged_cells.ranges), 200)
    check("last merge", str(sorted(ws.merged_cells.ranges, key=lambda r: r.min_row)[-1]), "A797:Y797")
    check("slip title", ws["A797"].value, "2026年12月工资条")
    check("slip name", ws["A799"].value, "黄伟")
    check("slip id", ws["B799"].value, "E100200")
    check("slip amount", ws["D799"].value, (199 * 7919 + 3 * 104729) % 1000000 / 100)
    check("slip border", ws["Y798"].border.bottom.style, "thin")
    check("slip caption fill", ws["C798"].fill.fgColor.rgb, "FFD9E1F2")
    check("slip height", ws.row_dimensions[797].height, 24)
    # Slips of three rows and an empty one: every break falls before a slip's first row, and the
    # pages between breaks all hold the same number of slips.
    breaks = [b.id for b in ws.row_breaks.brk]
    check("breaks before slips", [b for b in breaks if b % 4 != 0], [])
    check("manual breaks", all(b.man for b in ws.row_breaks.brk) and len(breaks) > 5, True)
    check("even pages", len({b - a for a, b in zip(breaks, breaks[1:])}), 1)


check_sample(sys.argv[1])
check_slips(sys.argv[2])
for f in failures:
    print(f, file=sys.stderr)
sys.exit(1 if failures else 0)
