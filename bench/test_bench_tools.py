"""Checks of the benchmark tools: the wage-table generator and the openpyxl peer.

Run by hand (not part of ctest):  /usr/bin/python3 -m pytest bench/test_bench_tools.py
"""

import os
import struct
import subprocess
import sys

import openpyxl
import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
GENERATOR = os.path.join(HERE, "generate_wage_table.py")
PEER = os.path.join(HERE, "peers", "openpyxl_slips.py")
PERSONS = 7


def generate(persons, path, *extra):
    subprocess.run([sys.executable, GENERATOR, str(persons), str(path), *extra], check=True)
    return path


@pytest.fixture(scope="module")
def table(tmp_path_factory):
    return generate(PERSONS, tmp_path_factory.mktemp("tables") / "wage.xlsx")


def test_xlsx_layout_title_header_and_persons(table):
    sheet = openpyxl.load_workbook(table).worksheets[0]
    assert [str(m) for m in sheet.merged_cells.ranges] == ["A1:Y1"]
    assert sheet.row_dimensions[1].height == 30
    assert sheet.row_dimensions[2].height == 36
    headings = [sheet.cell(2, c).value for c in range(1, 26)]
    assert headings[0] == "工号" and headings[-1] == "备注" and all(headings)
    ids = [sheet.cell(r, 1).value for r in range(3, 3 + PERSONS)]
    assert ids == [f"E{k:06d}" for k in range(1, PERSONS + 1)]
    # The person count ends at the first empty cell of column A.
    assert sheet.cell(3 + PERSONS, 1).value is None
    for c in range(1, 26):
        assert sheet.column_dimensions[openpyxl.utils.get_column_letter(c)].width


def test_xlsx_every_cell_is_bordered_and_money_is_formatted(table):
    sheet = openpyxl.load_workbook(table).worksheets[0]
    for r in range(2, 3 + PERSONS):
        for c in range(1, 26):
            cell = sheet.cell(r, c)
            assert cell.border.left.style == "thin", cell.coordinate
            assert cell.border.bottom.style == "thin", cell.coordinate
    assert sheet["F3"].number_format == "#,##0.00"
    assert sheet["E3"].number_format == "yyyy-mm-dd"


def test_xlsx_formulas_carry_results_that_add_up(table):
    formulas = openpyxl.load_workbook(table).worksheets[0]
    values = openpyxl.load_workbook(table, data_only=True).worksheets[0]
    for r in range(3, 3 + PERSONS):
        assert formulas[f"M{r}"].value == f"=SUM(F{r}:L{r})"
        gross = values[f"M{r}"].value
        assert gross == pytest.approx(sum(values.cell(r, c).value for c in range(6, 13)))
        deductions = sum(values[f"{col}{r}"].value for col in "NOPQTU")
        assert values[f"V{r}"].value == pytest.approx(deductions)
        assert values[f"W{r}"].value == pytest.approx(gross - deductions)
        assert values[f"S{r}"].value >= 0


def test_xlsx_uses_shared_strings_unless_asked(tmp_path):
    import zipfile

    shared = generate(3, tmp_path / "shared.xlsx")
    inline = generate(3, tmp_path / "inline.xlsx", "--inline-strings")
    with zipfile.ZipFile(shared) as z:
        assert "xl/sharedStrings.xml" in z.namelist()
    with zipfile.ZipFile(inline) as z:
        assert b't="inlineStr"' in z.read("xl/worksheets/sheet1.xml")


def test_same_size_gives_the_same_table(tmp_path):
    a = openpyxl.load_workbook(generate(5, tmp_path / "a.xlsx")).worksheets[0]
    b = openpyxl.load_workbook(generate(5, tmp_path / "b.xlsx")).worksheets[0]
    rows = lambda s: [[c.value for c in row] for row in s.iter_rows()]
    assert rows(a) == rows(b)


def biff_formula_results(path):
    """(row, column, cached result) of every FORMULA record in the workbook stream."""
    data = open(path, "rb").read()
    # The compound file's first sector after the header holds the start of the stream; BIFF
    # records are found by walking from the BOF record.
    start = data.index(b"\x09\x08\x10\x00\x00\x06")
    results = []
    pos = start
    while pos + 4 <= len(data):
        rec, length = struct.unpack_from("<HH", data, pos)
        body = data[pos + 4 : pos + 4 + length]
        if rec == 0x0006:
            row, col, _ = struct.unpack_from("<3H", body)
            results.append((row, col, body[6:14]))
        if rec == 0x000A and results:  # EOF of the worksheet
            break
        pos += 4 + length
    return results


def test_xls_formulas_carry_numeric_results(tmp_path):
    path = generate(3, tmp_path / "wage.xls")
    results = biff_formula_results(path)
    assert len(results) == 3 * 9  # M, N, O, P, Q, S, T, V, W
    for row, col, raw in results:
        # 0xFFFF in the top bytes would mark a string, boolean or error result, not a number.
        assert raw[6:8] != b"\xff\xff", (row, col)
    gross = {row: struct.unpack("<d", raw)[0] for row, col, raw in results if col == 12}
    assert sorted(gross) == [2, 3, 4] and all(v > 0 for v in gross.values())


def test_xls_refuses_tables_that_do_not_fit(tmp_path):
    run = subprocess.run(
        [sys.executable, GENERATOR, "65535", str(tmp_path / "big.xls")], capture_output=True, text=True
    )
    assert run.returncode != 0
    assert "65536 rows" in run.stderr
    assert not (tmp_path / "big.xls").exists()


def test_peer_makes_one_slip_per_person(table, tmp_path):
    result = tmp_path / "slips.xlsx"
    subprocess.run([sys.executable, PEER, str(table), str(result)], check=True, capture_output=True)
    slips = openpyxl.load_workbook(result).worksheets[0]
    source = openpyxl.load_workbook(table, data_only=True).worksheets[0]
    assert len(slips.merged_cells.ranges) == PERSONS
    for k in range(PERSONS):
        top = 4 * k + 1
        assert f"A{top}:Y{top}" in {str(m) for m in slips.merged_cells.ranges}
        assert [c.value for c in slips[top + 1]] == [c.value for c in source[2]]
        assert [c.value for c in slips[top + 2]] == [c.value for c in source[3 + k]]
        assert all(c.value is None for c in slips[top + 3])
        assert slips.row_dimensions[top].height == 30
        assert slips.cell(top + 2, 6).number_format == "#,##0.00"
        assert slips.cell(top + 2, 6).border.left.style == "thin"
    assert slips.column_dimensions["X"].width == source.column_dimensions["X"].width
