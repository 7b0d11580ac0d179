#!/usr/bin/python3
# Compares the number-format engine with LibreOffice: writes the cases below into workbooks,
# lets LibreOffice export the shown texts as CSV, and compares them with what the probe prints.
"""Usage: libreoffice_formats.py PROBE [--show]

Exit status 0 when every case agrees (or differs only where listed in EXCEL_DIFFERS), 1 on
any other difference, 77 when LibreOffice is not installed. --show prints every case.
"""
import csv
import os
import shutil
import subprocess
import sys
import tempfile

# (code, value); a str value is a text cell. Values that are dates are serial days.
CASES = [
    # Fixed decimals, grouping, rounding (15 significant digits first, then half away from 0).
    ("0", 0.5), ("0", 1.5), ("0", 2.5), ("0", -2.5), ("0.00", 2.675), ("0.00", 1.005),
    ("0.00", 9.995), ("0.00", -9.995), ("0.00", 0.125), ("0.0", 0.05), ("#,##0", 1234567.5),
    ("#,##0", -1234567), ("#,##0.00", 1234.565), ("#,##0.00", -0.004), ("#,##0.00", 999.995),
    ("#,##0", 0), ("#,###", 0), ("#.00", 0.5), ("0.0#", 1.5), ("0.0#", 1.25), ("#.##", 1),
    ("00000", 42), ("000-00-0000", 123456789), ("0.000", 1e15 + 0.3), ("0", 12345678901234567),
    ("#,##0,", 1234567), ("#,##0.0,,", 1234567), ("0.00_ ", 12.5), ("0_ ", -3),
    ("???.??", 1.5), ("0.??", 2.1),
    # Percent.
    ("0%", 0.125), ("0%", 0.145), ("0.00%", 0.12345), ("0%", -0.005), ("0.0%", 1),
    # Sections, colours, conditions, text.
    ("0.00;(0.00)", -5), ("0.00;(0.00)", 5), ("0;-0;\"zero\"", 0), ("0;-0;\"zero\"", -0.4),
    ("#,##0.00;[Red]-#,##0.00", -1234.5), ("[Red]0.00", -1.5), ("[Blue]0;[Red]0", -7),
    ("[>100]\"big\";[<=0]\"low\";0", 150), ("[>100]\"big\";[<=0]\"low\";0", -5),
    ("[>100]\"big\";[<=0]\"low\";0", 50), ("[>=1000]#,##0,\"K\";0", 123456),
    ("[>=1000]#,##0,\"K\";0", 999), ("0;0;0;\"[\"@\"]\"", "abc"), ("@\"元\"", "工资"),
    ("\"编号\"@", "007"), ("0.00", "text"), (";;;", 5), (";;;", "hidden"),
    ("0;-0;;@", 0), ("\"$\"#,##0", -5), ("\\$#,##0.00", 3.5), ("0\" 元\"", 12),
    ("0.00\"元\"", 12.345), ("#,##0.00\" 元\";-#,##0.00\" 元\"", -1234.5),
    ("(0)", 3), ("+0;-0", 3), ("0:00", 1234), ("0/0", 7),
    ("[DBNum1][$-804]0", 10), ("[DBNum2][$-804]0", 100000), ("[DBNum1][$-804]General", 15),
    ("[DBNum2][$-804]General", 100010), ("[DBNum2][$-804]0.00", 1234.5),
    ("[DBNum2][$-804]#,##0", 1234567), ("[DBNum1][$-804]General", 100000001),
    ("[DBNum2][$-804]General", 0), ("[DBNum1][$-804]0", 0), ("[DBNum2][$-804]General", 200000000),
    ("[DBNum2][$-804]General", 1200000), ("[DBNum1][$-804]h:mm", 0.45),
    ("[DBNum2][$-804]General", -12),
    ("[Red]", 5), ("0;[Red]", -5), ("[Red]General", -5), ("0/100", 0.37), ("# ?/10", 2.25),
    ("# ?/16", 0.3), ("00.00E+00", 12345), ("#0.0E+0", 12345), ("000.0E+0", 12345),
    ("[<0]\"neg\"0;0", -5), ("[>=0]0;0", -5), ("[>100]0;0", -5), ("[>100]0;0;0", -5),
    ("[<=-100]0;0", -500), ("[=0]\"nil\";0", 0), ("[=0]\"nil\";0", -3),
    ("[>100]0;[<-100]0;0", -500), ("[>100]0;[>50]0;0", -5),
    ("General", 0.1), ("General", 1e-7), ("General", 0.0000123456789), ("General", 123456789012),
    ("General\" 元\"", 5), ("0.00;-0.00;0.00;@", "x"), ("#,##0;-#,##0;-", 0), ("0.0", -0.04),
    ("0;-0", -0.4), ("0.00;-0.00", -0.001), ("[h]:mm", -0.5), ("0%;-0%", -0.001),
    ("#,##0.00_);[Red](#,##0.00)", -5), ("#,##0.00_);(#,##0.00)", 5), ("d", 45000),
    ("dd", 45000), ("yyyy", 45000.99999999), ("0.00,", 1234567), ("#,##0.00,\"千元\"", 1234567),
    ("0000000000", 123), ("[$-409]mmm d, yyyy", 45000), ("[$-409]h:mm AM/PM", 0.9),
    ("0.0E+00", -0.00012), ("0.00E+00", 9.996), ("0.00E+00", 1e100), ("0.0E+0", 1.5e-10),
    ("yyyy年m月d日", 45000), ("0.00元", 12.345), ("#,##0.00元", -1234.5), ("[Red]-0.00", 5),
    ("0.0_);(0.0)", -5), ("yyyy/mm/dd hh:mm:ss", 45000.123), ("General;[Red]-General", -5.5),
    ("@_)", "abc"), ("#,##0.00;-#,##0.00;\"\"", 0), ("0.00%;-0.00%;\"-\"", 0),
    ("#,##0.00_ ;[Red]-#,##0.00 ", -3), ("h:mm;@", 0.5), ("#,##0.000", 1234.0005),
    ("0.00", 123456789012345.67), ("0.0", 0.35), ("0.0", -0.35), ("0.00", 1.115),
    ("0.00", 8.575), ("0.00", 1234567.125), ("hh:mm:ss", 0.5 + 0.5 / 86400),
    ("[h]:mm:ss", 0.9999999), ("# ?/?", 0.05), ("# ?/?", 5.96), ("?/??", 0.1), ("# ?/2", 1.75),
    ("#,##0 ?/?", 12345.5), ("0.0%", 0.0005), ("0/00", 0.5), ("# 0/00", 1.25), ("# ??/?0", 0.3),
    # Built-in codes as resolved for zh-CN.
    ("General", 1234.5), ("0", 1234.5), ("0.00", 1234.567), ("#,##0", 1234.5),
    ("#,##0.00", 1234.567),
    ("\"\u00a5\"#,##0;\"\u00a5\"\\-#,##0", -1234.5),
    ("\"\u00a5\"#,##0;[Red]\"\u00a5\"\\-#,##0", 1234.5),
    ("\"\u00a5\"#,##0.00;\"\u00a5\"\\-#,##0.00", -1234.567),
    ("\"\u00a5\"#,##0.00;[Red]\"\u00a5\"\\-#,##0.00", 0),
    ("0%", 0.256), ("0.00%", 0.25678), ("0.00E+00", 12345.678), ("0.00E+00", 0.000123),
    ("# ?/?", 1.25), ("# ??/??", 3.14159), ("mm-dd-yy", 45000), ("d-mmm-yy", 45000),
    ("d-mmm", 45000), ("mmm-yy", 45000), ("h:mm AM/PM", 0.75), ("h:mm:ss AM/PM", 0.25),
    ("h:mm", 0.5), ("h:mm:ss", 0.123456), ("m/d/yy h:mm", 45000.5),
    ("yyyy\"年\"m\"月\"", 45000), ("m\"月\"d\"日\"", 45000), ("m-d-yy", 45000),
    ("yyyy\"年\"m\"月\"d\"日\"", 45000), ("h\"时\"mm\"分\"", 0.6),
    ("h\"时\"mm\"分\"ss\"秒\"", 0.6), ("上午/下午h\"时\"mm\"分\"", 0.6),
    ("上午/下午h\"时\"mm\"分\"ss\"秒\"", 0.3), ("#,##0 ;(#,##0)", -1234),
    ("#,##0 ;[Red](#,##0)", 1234), ("#,##0.00;(#,##0.00)", -1234.5),
    ("#,##0.00;[Red](#,##0.00)", -0.5),
    ("_ * #,##0_ ;_ * \\-#,##0_ ;_ * \"-\"_ ;_ @_ ", 1234),
    ("_ * #,##0_ ;_ * \\-#,##0_ ;_ * \"-\"_ ;_ @_ ", 0),
    ("_ \"\u00a5\"* #,##0.00_ ;_ \"\u00a5\"* \\-#,##0.00_ ;_ \"\u00a5\"* \"-\"??_ ;_ @_ ", -5.5),
    ("_ * #,##0.00_ ;_ * \\-#,##0.00_ ;_ * \"-\"??_ ;_ @_ ", "文本"),
    ("mm:ss", 0.01), ("[h]:mm:ss", 1.5), ("mmss.0", 0.00123), ("##0.0E+0", 12345),
    ("##0.0E+0", 0.00012345), ("@", 3), ("@", "abc"),
    # Scientific.
    ("0.00E+00", 0), ("0.00E+00", 9.999e9), ("0.0E-00", 0.05), ("0E+0", 123), ("00.00E+00", 12345),
    # Fractions.
    ("# ?/?", 0.5), ("# ?/?", 2), ("# ?/?", 0), ("# ??/??", 0.3333), ("?/?", 1.5),
    ("# ?/8", 2.3), ("# ?/4", 2.9), ("0/100", 0.37), ("# ???/???", 0.1234),
    # Dates: month and leap edges, serial 0 and 60, week days.
    ("yyyy-mm-dd", 0), ("yyyy-mm-dd", 1), ("yyyy-mm-dd", 59), ("yyyy-mm-dd", 60),
    ("yyyy-mm-dd", 61), ("yyyy-mm-dd", 43890), ("yyyy-mm-dd", 43891), ("yyyy-mm-dd", 44255),
    ("yyyy-mm-dd", 2958465), ("yyyy/m/d", 45292), ("yyyy/m/d;@", 45322), ("dddd", 1),
    ("ddd dd mmm yyyy", 45000), ("mmmm d, yyyy", 45000), ("mmmmm", 45000),
    ("yy/mm/dd", 36526), ("d/m/yyyy", 401768), ("e\"年\"", 45000),
    ("yyyy-mm-dd hh:mm:ss", 45000.999994), ("yyyy-mm-dd hh:mm", 45000.99999),
    ("[$-804]aaaa", 45000), ("[$-804]aaa", 45000), ("[$-804]yyyy\"年\"m\"月\"d\"日\" aaaa", 45292),
    ("[$-804]dddd", 45000), ("[$-804]ddd", 45000), ("[$-804]mmmm", 45000),
    ("[$-F800]dddd, mmmm dd, yyyy", 45292), ("[$-F400]h:mm:ss AM/PM", 0.75),
    ("yyyy-mm-dd", -1), ("yyyy-mm-dd", 2958466),
    # Times.
    ("h:mm:ss", 0.99999), ("h:mm:ss.0", 0.5000011), ("ss.00", 0.0000123), ("[h]:mm", 2.25),
    ("[mm]:ss", 0.5), ("[ss]", 0.01), ("h AM/PM", 0), ("h AM/PM", 0.5), ("hh:mm A/P", 0.25),
    ("h:mm am/pm", 0.8),
    # Locale and currency tags.
    ("[$\u00a5-804]#,##0.00", 1234.5), ("[$\uffe5-804]#,##0.00", -1234.5),
    ("[$\u20ac-407]#,##0.00", 1234.5), ("[$-804]#,##0", 1234.5),
    ("#,##0.00 [$\u20ac-407];[Red]-#,##0.00 [$\u20ac-407]", -3.5), ("[$USD] #,##0", 12),
    # Chinese numerals.
    ("[DBNum1]General", 123), ("[DBNum2]General", 123), ("[DBNum1][$-804]General", 1001),
    ("[DBNum2][$-804]General", 1234.56), ("[DBNum1]0", 10), ("[DBNum2]0", 100000),
    ("[DBNum2][$-804]General\"元\"", 20500), ("[DBNum1][$-804]yyyy\"年\"m\"月\"d\"日\"", 45651),
]

# Cases of a workbook that counts dates from 1904.
CASES_1904 = [
    ("yyyy-mm-dd", 0), ("yyyy-mm-dd", 1), ("yyyy-mm-dd", 59), ("yyyy-mm-dd", 42428),
    ("yyyy-mm-dd hh:mm", 43538.75), ("dddd", 0), ("yyyy\"年\"m\"月\"d\"日\"", 43538),
    ("0.00", 1.5), ("[h]:mm", 1.25),
]

# Where LibreOffice shows something other than Excel, the engine follows Excel: each entry is
# the case and the text the engine must show for it.
EXCEL_DIFFERS = {
    # A tiny negative number rounded to zero keeps its minus sign in Excel (-0.00, the familiar
    # residue of a subtraction); LibreOffice drops it when the code has one section.
    ("#,##0.00", -0.004): "-0.00",
    ("0.0", -0.04): "-0.0",
    # Excel keeps the point of "#.##" even when no decimals follow.
    ("#.##", 1): "1.",
    # 0.145 is 0.145 to 15 digits, so Excel rounds it up; LibreOffice rounds the binary value.
    ("0%", 0.145): "15%",
    # Excel rounds a half second up; LibreOffice truncates the seconds.
    ("h:mm:ss", 0.123456): "2:57:47",
    # Built-in 14 and 22 show the system's short date: yyyy/m/d on a zh-CN system.
    # LibreOffice uses its own locale (en-US here).
    ("mm-dd-yy", 45000): "2023/3/15",
    ("m/d/yy h:mm", 45000.5): "2023/3/15 12:00",
    # LibreOffice in an en-US locale does not read the zh-CN AM/PM words 上午/下午.
    ("上午/下午h\"时\"mm\"分\"", 0.6): "下午2时24分",
    ("上午/下午h\"时\"mm\"分\"ss\"秒\"", 0.3): "上午7时12分00秒",
    # A fill (*x) is one blank on a printed page; LibreOffice's CSV leaves it out.
    ("_ * #,##0_ ;_ * \\-#,##0_ ;_ * \"-\"_ ;_ @_ ", 1234): "  1,234 ",
    ("_ * #,##0_ ;_ * \\-#,##0_ ;_ * \"-\"_ ;_ @_ ", 0): "  - ",
    ("_ \"\u00a5\"* #,##0.00_ ;_ \"\u00a5\"* \\-#,##0.00_ ;_ \"\u00a5\"* \"-\"??_ ;_ @_ ", -5.5):
        " \u00a5 -5.50 ",
    # A whole number under a fixed denominator keeps the fraction's full width in blanks.
    ("# ?/4", 2.9): "3    ",
    # Excel's 1900 system has a 29 February 1900 (serial 60) and a day 0 (1900-01-00);
    # LibreOffice counts from 1899-12-30.
    ("yyyy-mm-dd", 0): "1900-01-00",
    ("yyyy-mm-dd", 1): "1900-01-01",
    ("yyyy-mm-dd", 59): "1900-02-28",
    ("yyyy-mm-dd", 60): "1900-02-29",
    # Excel cannot show negative dates or dates after 9999-12-31.
    ("yyyy-mm-dd", -1): "########",
    ("yyyy-mm-dd", 2958466): "########",
    ("[h]:mm", -0.5): "########",
    # e is the year in Excel outside Japanese and Thai calendars.
    ("e\"年\"", 45000): "2023年",
    # Excel's zh-CN short weekday is 周三.
    ("[$-804]ddd", 45000): "周三",
    # Excel's zh-CN system long date is yyyy"年"m"月"d"日" and its system time h:mm:ss,
    # whatever the rest of the section says.
    ("[$-F800]dddd, mmmm dd, yyyy", 45292): "2024年1月1日",
    ("[$-F400]h:mm:ss AM/PM", 0.75): "18:00:00",
    # Excel writes A/P and am/pm in the case the code uses.
    ("hh:mm A/P", 0.25): "06:00 A",
    ("h:mm am/pm", 0.8): "7:12 pm",
    # Excel applies [DBNum] without a locale tag (a zh-CN Excel's own locale); LibreOffice
    # (en-US here) ignores it. Excel keeps the decimal point where LibreOffice writes 点.
    ("[DBNum1]General", 123): "一百二十三",
    ("[DBNum2]General", 123): "壹佰贰拾叁",
    ("[DBNum1]0", 10): "一十",
    ("[DBNum2]0", 100000): "壹拾万",
    ("[DBNum2][$-804]General", 1234.56): "壹仟贰佰叁拾肆.伍陆",
    ("[DBNum2][$-804]0.00", 1234.5): "壹仟贰佰叁拾肆.伍零",
    # Hours and minutes read like days and months: 十, not 一十.
    ("[DBNum1][$-804]h:mm", 0.45): "十:四十八",
    # Half of a tenth rounds away from zero: 2.25 is 2 3/10 (LibreOffice: 2 2/10).
    ("# ?/10", 2.25): "2 3/10",
    ("# ?/2", 1.75): "2    ",
    # Half a second rounds up, as Excel shows it; LibreOffice truncates.
    ("hh:mm:ss", 0.5 + 0.5 / 86400): "12:00:01",
}

# LibreOffice exports General with up to 15 significant digits; Excel's General in a column of
# standard width keeps to 11 characters. The unit tests cover those cases.
GENERAL_LIMITED = {0.0000123456789, 123456789012}

def run_probe(probe, cases, date1904=False):
    lines = []
    for code, value in cases:
        if isinstance(value, str):
            lines.append("T\t%s\t%s" % (code, value))
        else:
            lines.append("%s\t%s\t%r" % ("N4" if date1904 else "N", code, float(value)))
    out = subprocess.run([probe], input="\n".join(lines) + "\n", capture_output=True,
                         text=True, check=True).stdout
    return [s.replace("\\t", "\t").replace("\\n", "\n") for s in out.split("\n")[: len(cases)]]


def write_book(path, cases, date1904):
    import openpyxl
    from openpyxl.utils.datetime import CALENDAR_MAC_1904

    book = openpyxl.Workbook()
    if date1904:
        book.epoch = CALENDAR_MAC_1904
    sheet = book.active
    for row, (code, value) in enumerate(cases, start=1):
        cell = sheet.cell(row=row, column=1, value=value)
        cell.number_format = code
    sheet.column_dimensions["A"].width = 60
    book.save(path)


def read_csv(path, count):
    with open(path, encoding="utf-8", newline="") as f:
        rows = list(csv.reader(f))
    texts = [r[0] if r else "" for r in rows]
    return texts + [""] * (count - len(texts))


def libreoffice_texts(soffice, workdir):
    """The shown texts of CASES and CASES_1904, from one LibreOffice run."""
    books = [("formats", CASES, False), ("formats1904", CASES_1904, True)]
    for name, cases, date1904 in books:
        write_book(os.path.join(workdir, name + ".xlsx"), cases, date1904)
    profile = "file://" + os.path.join(workdir, "profile")
    subprocess.run(
        [soffice, "-env:UserInstallation=" + profile, "--headless", "--convert-to",
         "csv:Text - txt - csv (StarCalc):44,34,76,1,,1033,false,true,true,false,false",
         "--outdir", workdir] + [os.path.join(workdir, n + ".xlsx") for n, _, _ in books],
        check=True, capture_output=True, timeout=240)
    return [read_csv(os.path.join(workdir, n + ".csv"), len(c)) for n, c, _ in books]


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    probe = sys.argv[1]
    show = "--show" in sys.argv[2:]
    soffice = shutil.which("soffice") or shutil.which("libreoffice")
    if soffice is None:
        print("SKIP: LibreOffice (soffice) is not installed")
        return 77
    ours = run_probe(probe, CASES) + run_probe(probe, CASES_1904, date1904=True)
    with tempfile.TemporaryDirectory(prefix="quenly-lo-") as workdir:
        plain, mac = libreoffice_texts(soffice, workdir)
    theirs = plain + mac
    # The listed differences are those of the 1900 system; the 1904 cases must all agree.
    differs = [EXCEL_DIFFERS] * len(CASES) + [{}] * len(CASES_1904)
    failures = 0
    for (code, value), mine, lo, known in zip(CASES + CASES_1904, ours, theirs, differs):
        key = (code, value)
        status = "ok"
        if key in known:
            status = "excel" if known[key] == mine else "FAIL"
        elif code == "General" and value in GENERAL_LIMITED:
            status = "excel"
        elif mine != lo:
            status = "FAIL"
        if status == "FAIL":
            failures += 1
        if show or status == "FAIL":
            print("%-5s %-45r %-14r ours=%r libreoffice=%r" % (status, code, value, mine, lo))
    print("%d cases, %d differ from LibreOffice without a reason"
          % (len(CASES) + len(CASES_1904), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
