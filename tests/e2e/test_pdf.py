"""quenly-batch writing PDF: a table made by openpyxl becomes pages of whole slips, checked with
poppler's pdfinfo, pdftotext and pdffonts; a result that cannot be written leaves nothing."""
import os
import re
import resource
import shutil
import signal
import subprocess

import openpyxl
import pytest
from openpyxl.styles import Alignment, Border, Font, PatternFill, Side

from conftest import file_state, run_batch

POPPLER = ("pdfinfo", "pdftotext", "pdffonts")
pytestmark = pytest.mark.skipif(any(shutil.which(t) is None for t in POPPLER),
                                reason="poppler-utils is not installed")

SURNAMES = "赵钱孙李周吴郑王冯陈"
GIVEN = "伟芳娜敏静强磊洋艳勇"
PERSONS = 90


def person(k):
    return SURNAMES[k % 10] + GIVEN[k // 10 % 10] + "%02d" % k


def make_table(path):
    """Title merged over A1:F1, a filled and bordered caption row 2, then PERSONS rows of
    name, number and money amounts."""
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "工资表"
    ws["A1"] = "2026年11月工资表"
    ws["A1"].font = Font(name="黑体", size=16, bold=True)
    ws["A1"].alignment = Alignment(horizontal="center", vertical="center")
    ws.merge_cells("A1:F1")
    ws.row_dimensions[1].height = 28
    thin = Side(style="thin", color="FF000000")
    box = Border(left=thin, right=thin, top=thin, bottom=thin)
    for col, text in enumerate(["姓名", "工号", "基本工资", "绩效", "扣款", "实发工资"], 1):
        c = ws.cell(2, col, text)
        c.font = Font(name="宋体", size=11, bold=True)
        c.fill = PatternFill("solid", fgColor="FFDDEBF7")
        c.border = box
        c.alignment = Alignment(horizontal="center")
    for k in range(PERSONS):
        r = k + 3
        ws.cell(r, 1, person(k)).border = box
        ws.cell(r, 2, "N%05d" % k).border = box
        for col, value in ((3, 5000 + k), (4, 1000.5), (5, 123.25), (6, 5877.25 + k)):
            c = ws.cell(r, col, value)
            c.number_format = "#,##0.00"
            c.border = box
    for col, width in zip("ABCDEF", (10, 10, 12, 10, 10, 12)):
        ws.column_dimensions[col].width = width
    wb.save(path)


def tool(*args):
    return subprocess.run(args, capture_output=True, text=True, check=True, timeout=120).stdout


def pages_of(pdf):
    return int(re.search(r"Pages:\s+(\d+)", tool("pdfinfo", pdf)).group(1))


@pytest.fixture
def table(tmp_path):
    path = tmp_path / "工资表.xlsx"
    make_table(path)
    return path


def test_pdf_holds_every_slip_whole_on_one_page(batch, table, tmp_path):
    before = file_state(table)
    pdf = tmp_path / "工资条.pdf"
    done = run_batch(batch, table, pdf, "--rows", "1-2", "--cols", "A-F")
    assert done.returncode == 0, done.stderr
    assert file_state(table) == before
    info = tool("pdfinfo", pdf)
    width, height = map(float, re.search(r"Page size:\s+([0-9.]+) x ([0-9.]+)", info).groups())
    assert abs(min(width, height) - 595.3) < 1 and abs(max(width, height) - 841.9) < 1
    pages = pages_of(pdf)
    assert pages >= 2

    seen = []
    for page in range(1, pages + 1):
        text = tool("pdftotext", "-layout", "-f", str(page), "-l", str(page), pdf, "-")
        lines = text.splitlines()
        on_page = [k for k in range(PERSONS) if person(k) in text]
        assert on_page, "page %d holds no slip" % page
        # One title and one caption row for each person on the page: no slip is split.
        assert text.count("2026年11月工资表") == len(on_page), "page %d" % page
        assert text.count("实发工资") == len(on_page), "page %d" % page
        for k in on_page:
            row = [line for line in lines if person(k) in line]
            assert len(row) == 1
            assert "N%05d" % k in row[0] and "{:,.2f}".format(5877.25 + k) in row[0], row[0]
        seen += on_page
    assert sorted(seen) == list(range(PERSONS))

    fonts = tool("pdffonts", pdf)
    assert "CJK" in fonts, fonts
    for line in fonts.splitlines()[2:]:
        assert " yes " in line, line


def test_pdf_that_cannot_be_written_leaves_nothing(batch, table, tmp_path):
    before = file_state(table)
    target = tmp_path / "no-such-folder" / "工资条.pdf"
    done = run_batch(batch, table, target, "--rows", "1-2", "--cols", "A-F")
    assert done.returncode != 0
    assert "no-such-folder" in done.stderr
    assert not target.parent.exists()
    assert file_state(table) == before
    assert sorted(os.listdir(tmp_path)) == ["工资表.xlsx"]


def test_pdf_cut_short_by_a_full_disk_fails_and_leaves_nothing(batch, table, tmp_path):
    pdf = tmp_path / "工资条.pdf"

    def small_files():
        # Files may grow to 16 KiB only: the PDF cannot be finished, as on a full disk.
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (16 * 1024, 16 * 1024))

    done = subprocess.run([batch, str(table), str(pdf), "--rows", "1-2", "--cols", "A-F"],
                          capture_output=True, text=True, timeout=300, preexec_fn=small_files)
    assert done.returncode != 0
    assert "工资条.pdf" in done.stderr, done.stderr
    assert sorted(os.listdir(tmp_path)) == ["工资表.xlsx"]
