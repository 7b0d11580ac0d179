#!/usr/bin/python3
"""Writes a realistic wage table (工资表) of any size as .xlsx or .xls, for the benchmarks.

Layout of the first worksheet "工资表" (rows and columns count from 1 in this description):
  row 1       the title, merged A1:Y1, 18 pt bold, centred, 30 pt high
  row 2       25 column titles A..Y, bold on a blue fill, wrapped, thin borders, 36 pt high
  rows 3..    one person per row, 18 pt high: text IDs and names, Chinese departments and posts,
              dates, money in '#,##0.00', formulas with cached results (gross pay, insurance,
              taxable income, income tax, deductions, net pay), bank account as text, remarks
              in some rows; thin borders on every cell; every column has a width.
Column A (工号) is never empty, so the person count of a table of N persons is N.

The data is pseudo-random but fixed by the person count, so a table of a given size is the same
on every run.

.xlsx is written with shared strings, as a spreadsheet application saves it. .xls (BIFF8) holds
at most 65,536 rows, so it is refused above 65,534 persons; its formula cells carry their cached
results too.

Usage: generate_wage_table.py PERSONS OUTPUT(.xlsx|.xls) [--inline-strings]
  --inline-strings  write .xlsx with xlsxwriter's constant_memory mode (inline strings, little
                    memory) instead of a shared string table
"""

import argparse
import datetime
import random
import struct
import sys

COLUMNS = 25
HEADER_ROWS = 2
XLS_MAX_ROWS = 65536
XLS_MAX_PERSONS = XLS_MAX_ROWS - HEADER_ROWS

TITLE = "华东精密制造有限公司2026年11月员工工资表"

# (title, width, kind); kind says how the value is made and formatted.
HEADINGS = [
    ("工号", 10, "id"),
    ("姓名", 9, "name"),
    ("部门", 12, "dept"),
    ("岗位", 12, "post"),
    ("入职日期", 12, "date"),
    ("基本工资", 11, "base"),
    ("岗位工资", 11, "postpay"),
    ("绩效工资", 11, "bonus"),
    ("加班费", 10, "overtime"),
    ("交通补贴", 10, "transport"),
    ("餐费补贴", 10, "meal"),
    ("通讯补贴", 10, "phone"),
    ("应发工资", 12, "f_gross"),
    ("养老保险", 10, "f_pension"),
    ("医疗保险", 10, "f_medical"),
    ("失业保险", 10, "f_unemploy"),
    ("住房公积金", 11, "f_housing"),
    ("专项附加扣除", 12, "special"),
    ("应纳税所得额", 13, "f_taxable"),
    ("个人所得税", 11, "f_tax"),
    ("考勤扣款", 10, "absence"),
    ("扣款合计", 11, "f_deduct"),
    ("实发工资", 12, "f_net"),
    ("银行卡号", 22, "account"),
    ("备注", 14, "remark"),
]
assert len(HEADINGS) == COLUMNS

SURNAMES = (
    "王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗郑梁谢宋唐许韩冯邓曹彭曾肖田董袁潘于蒋蔡余杜叶程"
    "苏魏吕丁任沈姚卢姜崔钟谭陆汪范金石廖贾夏韦付方白邹孟熊秦邱江尹薛闫段雷侯龙史陶黎贺顾毛郝"
)
GIVEN = (
    "伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超秀兰霞平刚桂英华建国志强文玉兰红梅海燕鹏飞晓东雪梅"
    "丹宇浩然子轩欣怡思远雨涵嘉怡俊杰梓涵一鸣佳琪诗雨天佑婉婷振华立新春燕德明国庆永刚凤英"
)
DEPARTMENTS = [
    "行政部", "人力资源部", "财务部", "销售一部", "销售二部", "市场部", "研发中心",
    "质量管理部", "采购部", "生产一车间", "生产二车间", "仓储物流部", "信息技术部", "售后服务部",
]
POSTS = [
    "经理", "副经理", "主管", "工程师", "高级工程师", "技术员", "专员", "会计", "出纳",
    "销售代表", "操作工", "质检员", "仓管员", "司机", "文员",
]
REMARKS = ["", "", "", "", "", "", "试用期", "本月调岗", "补发上月加班费", "产假", "新入职"]

# Monthly income-tax brackets: (upper bound of taxable income, rate, quick deduction).
TAX_BRACKETS = [
    (3000, 0.03, 0),
    (12000, 0.10, 210),
    (25000, 0.20, 1410),
    (35000, 0.25, 2660),
    (55000, 0.30, 4410),
    (80000, 0.35, 7160),
    (None, 0.45, 15160),
]

EXCEL_EPOCH = datetime.date(1899, 12, 30)


def excel_round(value, digits=2):
    """ROUND as a spreadsheet computes it: halves away from zero."""
    scale = 10**digits
    scaled = abs(value) * scale
    result = int(scaled + 0.5 + 1e-9) / scale
    return result if value >= 0 else -result


def tax_formula(s):
    """The income-tax formula of row r, with the taxable income in cell `s`."""
    text = ""
    closing = ""
    for upper, rate, deduction in TAX_BRACKETS:
        term = f"{s}*{rate:g}" + (f"-{deduction}" if deduction else "")
        if upper is None:
            text += term
        else:
            text += f"IF({s}<={upper},{term},"
            closing += ")"
    return f"ROUND({text}{closing},2)"


def tax_of(taxable):
    for upper, rate, deduction in TAX_BRACKETS:
        if upper is None or taxable <= upper:
            return excel_round(taxable * rate - deduction)
    raise AssertionError("unreachable")


def make_rows(persons):
    """Yields, for each person, a list of 25 (value, formula) pairs; formula is None for values.

    Rows are numbered as in the sheet (first person on row 3), so formulas refer to their own row.
    """
    rng = random.Random(20261108 + persons)
    for k in range(persons):
        r = HEADER_ROWS + 1 + k
        dept = rng.choice(DEPARTMENTS)
        post = rng.choice(POSTS)
        name = rng.choice(SURNAMES) + "".join(rng.choice(GIVEN) for _ in range(rng.choice((1, 2, 2))))
        hired = EXCEL_EPOCH + datetime.timedelta(days=rng.randint(36526, 46300))
        base = float(rng.choice((2600, 3000, 3500, 4000, 4500, 5000, 6000, 7500, 9000, 12000)))
        postpay = float(rng.randrange(0, 6000, 100))
        bonus = round(rng.uniform(0, 5000), 2)
        overtime = round(rng.choice((0, 0, 0, rng.uniform(50, 1500))), 2)
        transport = float(rng.choice((0, 200, 300, 500)))
        meal = float(rng.choice((300, 400, 500)))
        phone = float(rng.choice((0, 100, 200)))
        special = float(rng.choice((0, 0, 1000, 1500, 2000, 3000, 4000)))
        absence = float(rng.choice((0, 0, 0, 0, 50, 100, 200, 350.5)))

        gross = round(base + postpay + bonus + overtime + transport + meal + phone, 2)
        pension = excel_round(gross * 0.08)
        medical = excel_round(gross * 0.02)
        unemploy = excel_round(gross * 0.005)
        housing = excel_round(gross * 0.12)
        taxable = max(round(gross - pension - medical - unemploy - housing - special - 5000, 2), 0.0)
        tax = tax_of(taxable)
        deduct = round(pension + medical + unemploy + housing + tax + absence, 2)
        net = round(gross - deduct, 2)
        account = "6222" + "".join(str(rng.randrange(10)) for _ in range(15))

        yield [
            (f"E{k + 1:06d}", None),
            (name, None),
            (dept, None),
            (post, None),
            (hired, None),
            (base, None),
            (postpay, None),
            (bonus, None),
            (overtime, None),
            (transport, None),
            (meal, None),
            (phone, None),
            (gross, f"SUM(F{r}:L{r})"),
            (pension, f"ROUND(M{r}*0.08,2)"),
            (medical, f"ROUND(M{r}*0.02,2)"),
            (unemploy, f"ROUND(M{r}*0.005,2)"),
            (housing, f"ROUND(M{r}*0.12,2)"),
            (special, None),
            (taxable, f"MAX(M{r}-N{r}-O{r}-P{r}-Q{r}-R{r}-5000,0)"),
            (tax, tax_formula(f"S{r}")),
            (absence, None),
            (deduct, f"N{r}+O{r}+P{r}+Q{r}+T{r}+U{r}"),
            (net, f"M{r}-V{r}"),
            (account, None),
            (rng.choice(REMARKS), None),
        ]


def write_xlsx(persons, path, inline_strings):
    import xlsxwriter

    book = xlsxwriter.Workbook(path, {"constant_memory": inline_strings, "strings_to_numbers": False})
    sheet = book.add_worksheet("工资表")
    font = {"font_name": "宋体", "font_size": 11, "valign": "vcenter"}
    title = book.add_format(
        {**font, "font_size": 18, "bold": True, "align": "center", "border": 1}
    )
    head = book.add_format(
        {**font, "bold": True, "align": "center", "text_wrap": True, "border": 1,
         "bg_color": "#DDEBF7"}
    )
    text = book.add_format({**font, "border": 1})
    centre = book.add_format({**font, "border": 1, "align": "center"})
    date = book.add_format({**font, "border": 1, "num_format": "yyyy-mm-dd", "align": "center"})
    money = book.add_format({**font, "border": 1, "num_format": "#,##0.00"})
    computed = book.add_format({**font, "border": 1, "num_format": "#,##0.00", "bg_color": "#FFF2CC"})
    net = book.add_format({**font, "border": 1, "num_format": "#,##0.00", "bold": True})

    for c, (_, width, _) in enumerate(HEADINGS):
        sheet.set_column(c, c, width)
    sheet.set_row(0, 30)
    sheet.merge_range(0, 0, 0, COLUMNS - 1, TITLE, title)
    sheet.set_row(1, 36)
    for c, (heading, _, _) in enumerate(HEADINGS):
        sheet.write_string(1, c, heading, head)

    formats = []
    for _, _, kind in HEADINGS:
        if kind in ("id", "name", "account"):
            formats.append(centre)
        elif kind in ("dept", "post", "remark"):
            formats.append(text)
        elif kind == "date":
            formats.append(date)
        elif kind == "f_net":
            formats.append(net)
        elif kind.startswith("f_"):
            formats.append(computed)
        else:
            formats.append(money)

    for k, row in enumerate(make_rows(persons)):
        r = HEADER_ROWS + k
        sheet.set_row(r, 18)
        for c, (value, formula) in enumerate(row):
            fmt = formats[c]
            if formula is not None:
                sheet.write_formula(r, c, formula, fmt, value)
            elif isinstance(value, str):
                if value:
                    sheet.write_string(r, c, value, fmt)
                else:
                    sheet.write_blank(r, c, None, fmt)
            elif isinstance(value, datetime.date):
                sheet.write_number(r, c, (value - EXCEL_EPOCH).days, fmt)
            else:
                sheet.write_number(r, c, value, fmt)
    book.close()


def write_xls(persons, path):
    import importlib

    import xlwt
    from xlwt import BIFFRecords

    # xlwt's package exports classes under its module names (xlwt.Row is the class).
    cell_module = importlib.import_module("xlwt.Cell")
    row_module = importlib.import_module("xlwt.Row")

    if persons > XLS_MAX_PERSONS:
        sys.exit(
            f".xls holds at most {XLS_MAX_ROWS} rows: {persons} persons and a 2-row header do not fit"
        )

    class CachedFormulaRecord(BIFFRecords.BiffRecord):
        _REC_ID = 0x0006

        def __init__(self, data):
            self._rec_data = data

    class CachedFormulaCell(cell_module.FormulaCell):
        """A formula cell whose record carries its cached numeric result (xlwt writes none)."""

        __slots__ = ()

        def get_biff_data(self):
            return CachedFormulaRecord(
                struct.pack("<3HdHL", self.rowx, self.colx, self.xf_idx, self.frmla.cached, 0, 0)
                + self.frmla.rpn()
            ).get()

    row_module.FormulaCell = CachedFormulaCell

    class CachedFormula(xlwt.Formula):
        __slots__ = ("cached",)

    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("工资表")

    def style(bold=False, height=11, centre=False, wrap=False, fill=None, num_format=None):
        s = xlwt.XFStyle()
        s.font.name = "宋体"
        s.font.bold = bold
        s.font.height = height * 20
        s.alignment.horz = xlwt.Alignment.HORZ_CENTER if centre else xlwt.Alignment.HORZ_GENERAL
        s.alignment.vert = xlwt.Alignment.VERT_CENTER
        s.alignment.wrap = 1 if wrap else 0
        b = xlwt.Borders()
        b.left = b.right = b.top = b.bottom = xlwt.Borders.THIN
        s.borders = b
        if fill is not None:
            p = xlwt.Pattern()
            p.pattern = xlwt.Pattern.SOLID_PATTERN
            p.pattern_fore_colour = fill
            s.pattern = p
        if num_format:
            s.num_format_str = num_format
        return s

    title = style(bold=True, height=18, centre=True)
    head = style(bold=True, centre=True, wrap=True, fill=xlwt.Style.colour_map["pale_blue"])
    text = style()
    centre = style(centre=True)
    date = style(centre=True, num_format="yyyy-mm-dd")
    money = style(num_format="#,##0.00")
    computed = style(num_format="#,##0.00", fill=xlwt.Style.colour_map["light_yellow"])
    net = style(bold=True, num_format="#,##0.00")

    for c, (_, width, _) in enumerate(HEADINGS):
        sheet.col(c).width = int(width * 256 + 0.5)

    def height(r, points):
        sheet.row(r).height_mismatch = True
        sheet.row(r).height = int(points * 20)

    height(0, 30)
    sheet.write_merge(0, 0, 0, COLUMNS - 1, TITLE, title)
    height(1, 36)
    for c, (heading, _, _) in enumerate(HEADINGS):
        sheet.write(1, c, heading, head)

    formats = []
    for _, _, kind in HEADINGS:
        if kind in ("id", "name", "account"):
            formats.append(centre)
        elif kind in ("dept", "post", "remark"):
            formats.append(text)
        elif kind == "date":
            formats.append(date)
        elif kind == "f_net":
            formats.append(net)
        elif kind.startswith("f_"):
            formats.append(computed)
        else:
            formats.append(money)

    for k, row in enumerate(make_rows(persons)):
        r = HEADER_ROWS + k
        height(r, 18)
        for c, (value, formula) in enumerate(row):
            fmt = formats[c]
            if formula is not None:
                f = CachedFormula(formula)
                f.cached = value
                sheet.write(r, c, f, fmt)
            elif isinstance(value, datetime.date):
                sheet.write(r, c, (value - EXCEL_EPOCH).days, fmt)
            elif value == "":
                sheet.write(r, c, None, fmt)
            else:
                sheet.write(r, c, value, fmt)
    book.save(path)


def main():
    parser = argparse.ArgumentParser(description="Write a wage table for the benchmarks.")
    parser.add_argument("persons", type=int)
    parser.add_argument("output")
    parser.add_argument("--inline-strings", action="store_true")
    args = parser.parse_args()
    if args.persons < 0:
        sys.exit("the person count must not be negative")
    if args.output.endswith(".xlsx"):
        write_xlsx(args.persons, args.output, args.inline_strings)
    elif args.output.endswith(".xls"):
        write_xls(args.persons, args.output)
    else:
        sys.exit("the output must end in .xlsx or .xls")


if __name__ == "__main__":
    main()
