"""The largest tables quenly-batch can turn into slips: a header of 2 rows and 262,144 persons
fill the result sheet exactly to its last row (1,048,576) within the memory limit; one slip
more fails with a message that names the row limit, and no file is written. Prints the figures
(time and peak memory of each run)."""
import os
import subprocess
import sys
import time

import openpyxl
import pytest
import xlsxwriter

from conftest import file_state, SOURCE_DIR

LAST_ROW = 1048576
# Blocks of the 2 header rows, the person's row and one empty row.
PERSONS_THAT_FIT = LAST_ROW // 4
MEMORY_LIMIT_MB = 1200

TITLE = "2026年11月工资表"
HEADINGS = ["工号", "姓名", "基本工资", "实发"]
COLUMNS = len(HEADINGS)


def person(k):
    """Person k (from 0): the values of columns A to D."""
    base = 3000 + k % 1000 + (k % 89) * 0.25
    return ("E%06d" % (k + 1), "员工%d" % (k % 997), base, base + 100)


def make_table(path, persons, columns=COLUMNS):
    """Title merged over the columns in row 1, headings in row 2, persons from row 3 (texts, a
    money amount and a formula with its result), written with xlsxwriter's constant_memory
    mode. Returns the seconds it took."""
    started = time.monotonic()
    book = xlsxwriter.Workbook(str(path), {"constant_memory": True})
    ws = book.add_worksheet("工资表")
    title = book.add_format({"bold": True, "font_size": 16, "align": "center"})
    head = book.add_format({"bold": True, "border": 1, "bg_color": "#DDEBF7"})
    text = book.add_format({"border": 1})
    money = book.add_format({"num_format": "#,##0.00", "border": 1})
    ws.set_column(0, columns - 1, 12)
    ws.merge_range(0, 0, 0, columns - 1, TITLE, title)
    ws.write_row(1, 0, HEADINGS[:columns], head)
    for k in range(persons):
        r = k + 2
        values = person(k)
        ws.write_string(r, 0, values[0], text)
        ws.write_string(r, 1, values[1], text)
        if columns == COLUMNS:
            ws.write_number(r, 2, values[2], money)
            ws.write_formula(r, 3, "=C%d+100" % (r + 1), money, values[3])
    book.close()
    return time.monotonic() - started


def run_measured(batch, tmp_path, *args):
    """Runs quenly-batch; returns its exit code, its stderr, the seconds and the peak resident
    memory in MB."""
    with open(tmp_path / "stderr.txt", "w+") as err:
        started = time.monotonic()
        child = subprocess.Popen([batch, *map(str, args)], stdout=subprocess.DEVNULL, stderr=err)
        _, status, usage = os.wait4(child.pid, 0)
        seconds = time.monotonic() - started
        child.returncode = os.waitstatus_to_exitcode(status)
        err.seek(0)
        return child.returncode, err.read(), seconds, usage.ru_maxrss / 1024


def slip(k, columns=COLUMNS):
    """The three rows of person k's slip, as openpyxl reads them."""
    return [(TITLE,) + (None,) * (columns - 1), tuple(HEADINGS[:columns]), person(k)[:columns]]


def test_the_largest_table_fills_the_sheet_to_its_last_row(batch, tmp_path):
    source = tmp_path / "工资表.xlsx"
    made = make_table(source, PERSONS_THAT_FIT)
    before = file_state(source)
    result = tmp_path / "out" / "工资条.xlsx"
    result.parent.mkdir()

    code, stderr, seconds, peak = run_measured(batch, tmp_path, source, result, "--rows", "1-2",
                                               "--cols", "A-D")
    print("\n[figures] %d persons x %d columns: table made in %.1f s; export %.1f s, peak %.0f MB"
          % (PERSONS_THAT_FIT, COLUMNS, made, seconds, peak))
    assert (code, stderr) == (0, "")
    assert peak < MEMORY_LIMIT_MB
    assert file_state(source) == before
    assert os.listdir(result.parent) == ["工资条.xlsx"]

    started = time.monotonic()
    ws = openpyxl.load_workbook(result, read_only=True).worksheets[0]
    assert ws.max_row == LAST_ROW - 1, "the last row of the last slip is the empty one"
    first = list(ws.iter_rows(min_row=1, max_row=8, values_only=True))
    assert first == slip(0) + [(None,) * COLUMNS] + slip(1) + [(None,) * COLUMNS]
    last = list(ws.iter_rows(min_row=LAST_ROW - 7, max_row=LAST_ROW, values_only=True))
    # Rows 1,048,569 to 1,048,576: the slips of the last two persons; the sheet's very last row
    # is the last slip's empty row, so nothing is written there.
    assert last[:7] == slip(PERSONS_THAT_FIT - 2) + [(None,) * COLUMNS] + slip(PERSONS_THAT_FIT - 1)
    assert all(v is None for row in last[7:] for v in row)
    print("[figures] openpyxl read the result in %.1f s" % (time.monotonic() - started))


@pytest.fixture(scope="module")
def one_person_too_many(tmp_path_factory):
    """A table of 262,145 persons in two columns; it takes a few seconds to write."""
    source = tmp_path_factory.mktemp("limits") / "one_too_many.xlsx"
    made = make_table(source, PERSONS_THAT_FIT + 1, columns=2)
    print("\n[figures] %d persons x 2 columns: table made in %.1f s"
          % (PERSONS_THAT_FIT + 1, made))
    return source


@pytest.mark.parametrize("rows, reason", [
    # 262,145 slips of four rows: the last one would start on row 1,048,577.
    ("1-2", "单元格地址“A1048577”超出了工作表的最后一行（工作表最多有 1048576 行）"),
    # Slips of five rows: the 209,716th header starts on the last row and runs past it.
    ("1-3", "无法粘贴到 A1048576：复制的区域（3 行 × 2 列）超出了工作表的最后一行（工作表最多有 "
            "1048576 行）"),
])
def test_one_slip_too_many_fails_and_writes_nothing(batch, tmp_path, one_person_too_many, rows,
                                                    reason):
    before = file_state(one_person_too_many)
    result = tmp_path / "out.xlsx"
    code, stderr, seconds, peak = run_measured(batch, tmp_path, one_person_too_many, result,
                                               "--rows", rows, "--cols", "A-B")
    print("\n[figures] rows %s: failed after %.1f s, peak %.0f MB" % (rows, seconds, peak))
    assert code == 1
    assert stderr == "quenly-batch：输出工资条失败：%s\n" % reason
    assert sorted(os.listdir(tmp_path)) == ["stderr.txt"], "no result, no temporary file"
    assert file_state(one_person_too_many) == before
    assert peak < MEMORY_LIMIT_MB


@pytest.mark.skipif(not os.environ.get("QUENLY_LIMITS_WAGE_TABLE"),
                    reason="the 25-column wage table of the benchmarks takes about a minute to "
                           "generate; set QUENLY_LIMITS_WAGE_TABLE=1 to run it")
def test_the_full_wage_table_at_the_limit_stays_within_memory(batch, tmp_path):
    source = tmp_path / "wage.xlsx"
    started = time.monotonic()
    subprocess.run([sys.executable, os.path.join(SOURCE_DIR, "bench", "generate_wage_table.py"),
                    str(PERSONS_THAT_FIT), str(source)], check=True)
    made = time.monotonic() - started
    code, stderr, seconds, peak = run_measured(batch, tmp_path, source, tmp_path / "out.xlsx",
                                               "--rows", "1-2", "--cols", "A-Y")
    print("\n[figures] %d persons x 25 columns: table made in %.1f s; export %.1f s, peak %.0f MB"
          % (PERSONS_THAT_FIT, made, seconds, peak))
    assert (code, stderr) == (0, "")
    assert peak < MEMORY_LIMIT_MB
