"""Printing the slips: the result's page set-up puts every slip whole on one page with all its
columns, in the result itself (read with openpyxl) and as LibreOffice prints it (when installed)."""
import os
import shutil
import subprocess

import openpyxl
import pytest
from openpyxl.styles import Alignment, Border, Font, PatternFill, Side

from conftest import run_batch

COLS = 14
SIZES = [1, 12, 100, 5000]
HEADERS = [1, 2, 3]


def make_table(path, persons, header_rows):
    """A wage table of `header_rows` header rows (a merged title above the captions when there
    are two or more) and `persons` rows; the last column holds a text that marks the row's end."""
    wb = openpyxl.Workbook()
    ws = wb.active
    thin = Side(style="thin")
    box = Border(left=thin, right=thin, top=thin, bottom=thin)
    if header_rows >= 2:
        ws.cell(1, 1, "华东公司2026年11月工资表").font = Font(name="宋体", size=16, bold=True)
        ws.merge_cells(start_row=1, start_column=1, end_row=1, end_column=COLS)
        ws.row_dimensions[1].height = 27
    for h in range(2 if header_rows >= 2 else 1, header_rows + 1):
        for c in range(1, COLS + 1):
            cell = ws.cell(h, c, "项目%d-%02d" % (h, c))
            cell.font = Font(name="宋体", bold=True)
            cell.fill = PatternFill("solid", fgColor="FFD9E1F2")
            cell.border = box
            cell.alignment = Alignment(horizontal="center")
    ws.cell(header_rows, COLS, "签收")
    for p in range(persons):
        r = header_rows + 1 + p
        ws.cell(r, 1, "P%05d" % (p + 1))
        for c in range(2, COLS):
            ws.cell(r, c, 1000 + p * 0.37 + c).number_format = "#,##0.00"
        ws.cell(r, COLS, "E%05d" % (p + 1))
        for c in range(1, COLS + 1):
            ws.cell(r, c).border = box
    for c in range(1, COLS + 1):
        ws.column_dimensions[openpyxl.utils.get_column_letter(c)].width = 16 if c == 1 else 11
    wb.save(path)


@pytest.fixture(scope="module")
def results(batch, tmp_path_factory):
    """Every table size and header height, exported once: {(persons, header_rows): path}."""
    folder = tmp_path_factory.mktemp("print")
    made = {}
    for header_rows in HEADERS:
        for persons in SIZES:
            source = folder / ("src-%d-%d.xlsx" % (persons, header_rows))
            result = folder / ("slips-%d-%d.xlsx" % (persons, header_rows))
            make_table(source, persons, header_rows)
            last = openpyxl.utils.get_column_letter(COLS)
            done = run_batch(batch, source, result, "--rows", "1-%d" % header_rows,
                             "--cols", "A-" + last)
            assert done.returncode == 0, done.stderr
            made[(persons, header_rows)] = result
    return made


@pytest.mark.parametrize("header_rows", HEADERS)
@pytest.mark.parametrize("persons", SIZES)
def test_breaks_fall_only_before_slips(results, persons, header_rows):
    ws = openpyxl.load_workbook(results[(persons, header_rows)]).active
    period = header_rows + 2
    breaks = [b.id for b in ws.row_breaks.brk]
    assert all(b.man for b in ws.row_breaks.brk)
    # A break's id is the number of rows above it: a slip starts every `period` rows.
    assert [b for b in breaks if b % period != 0] == []
    assert breaks == sorted(set(breaks))
    if persons >= 100:
        assert breaks, "a long table needs page breaks"
    setup = ws.page_setup
    assert setup.paperSize == 9
    assert 10 <= int(setup.scale) <= 100
    assert ws.sheet_properties.pageSetUpPr is None or not ws.sheet_properties.pageSetUpPr.fitToPage
    assert ws.print_options.horizontalCentered


def pages_of_pdf(pdf):
    text = subprocess.run(["pdftotext", "-layout", str(pdf), "-"], capture_output=True,
                          text=True, check=True).stdout
    pages = text.split("\f")
    return pages[:-1] if pages and not pages[-1].strip() else pages


def test_libreoffice_prints_whole_slips_with_every_column(results, tmp_path):
    soffice = shutil.which("soffice")
    if soffice is None or shutil.which("pdftotext") is None:
        pytest.skip("LibreOffice or pdftotext is not installed")
    files = [str(p) for p in results.values()]
    profile = "file://" + str(tmp_path / "profile")
    subprocess.run([soffice, "--headless", "-env:UserInstallation=" + profile, "--convert-to",
                    "pdf", "--outdir", str(tmp_path), *files], capture_output=True, timeout=900,
                   check=True)
    for (persons, header_rows), result in sorted(results.items()):
        where = "%d persons, %d header rows" % (persons, header_rows)
        pdf = tmp_path / (os.path.splitext(os.path.basename(result))[0] + ".pdf")
        assert pdf.exists(), where
        seen = []
        for number, page in enumerate(pages_of_pdf(pdf), 1):
            starts = [w for w in page.split() if w.startswith("P0")]
            ends = [w for w in page.split() if w.startswith("E0")]
            captions = page.count("项目%d-01" % header_rows)
            # Every slip on the page is whole: its captions, its first and its last column.
            assert starts and len(starts) == len(ends) == captions, \
                "%s: page %d holds part of a slip:\n%s" % (where, number, page)
            assert [s[1:] for s in starts] == [e[1:] for e in ends], (where, number)
            if header_rows >= 2:
                assert page.count("工资表") == len(starts), (where, number)
            seen += starts
        assert seen == ["P%05d" % (p + 1) for p in range(persons)], where


def test_text_running_past_the_last_column_gets_no_pages_of_its_own(batch, tmp_path):
    soffice = shutil.which("soffice")
    if soffice is None or shutil.which("pdftotext") is None:
        pytest.skip("LibreOffice or pdftotext is not installed")
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.append(["工号", "姓名", "邮箱"])
    for p in range(200):
        ws.append([10001 + p, "员工%d" % p, "employee.%d: " % p + "备注很长的一段说明文字" * 12])
    source = tmp_path / "src.xlsx"
    result = tmp_path / "slips.xlsx"
    wb.save(source)
    done = run_batch(batch, source, result, "--rows", "1-1", "--cols", "A-C")
    assert done.returncode == 0, done.stderr
    out = openpyxl.load_workbook(result).active
    assert out.print_area == ["$A$1:$C$%d" % out.max_row]
    pages_meant = len(out.row_breaks.brk) + 1
    profile = "file://" + str(tmp_path / "profile")
    subprocess.run([soffice, "--headless", "-env:UserInstallation=" + profile, "--convert-to",
                    "pdf", "--outdir", str(tmp_path), str(result)], capture_output=True,
                   timeout=300, check=True)
    pages = pages_of_pdf(tmp_path / "slips.pdf")
    assert len(pages) == pages_meant
    for page in pages:
        assert page.count("工号") == page.count("employee.") > 0
