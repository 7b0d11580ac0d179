"""quenly-batch end to end: tables made by openpyxl and xlsxwriter become slips that keep every
value and format, and bad input fails with a reason while the source stays untouched."""
import os
import socket
import subprocess

import openpyxl
import pytest
import xlsxwriter
from openpyxl.styles import Alignment, Border, Font, PatternFill, Side
from openpyxl.utils import get_column_letter

from conftest import assert_same_look, file_state, private_batch, run_batch, SOURCE_DIR

NAMES = ["张三", "李四", "王五", "赵六", "钱七", "孙八", "周九"]


def make_xlsxwriter_table(path, persons=len(NAMES)):
    """Title merged over A1:F1 (30 pt), bordered header row 2, persons from row 3 with money
    formats and formulas with stored results, column widths, column E hidden."""
    book = xlsxwriter.Workbook(path)
    ws = book.add_worksheet("工资表")
    title = book.add_format({"bold": True, "font_size": 18, "font_name": "黑体",
                             "align": "center", "valign": "vcenter", "font_color": "#1F4E78"})
    head = book.add_format({"bold": True, "border": 1, "bg_color": "#FFF2CC",
                            "align": "center", "text_wrap": True, "font_name": "宋体"})
    name = book.add_format({"border": 1, "font_name": "宋体", "italic": True})
    money = book.add_format({"border": 2, "num_format": "#,##0.00", "font_name": "Arial",
                             "border_color": "#FF0000"})
    ws.merge_range("A1:F1", "2024年12月 工资条", title)
    ws.set_row(0, 30)
    ws.set_row(1, 24.75)
    for col, text in enumerate(["姓名", "基本工资", "津贴", "应发", "备注", "实发"]):
        ws.write_string(1, col, text, head)
    for col, width in enumerate([9, 12.5, 11, 13, 20, 14.25]):
        ws.set_column(col, col, width)
    ws.set_column(4, 4, 20, None, {"hidden": True})
    for k in range(persons):
        r = k + 2
        base = 3000 + 111.25 * k
        ws.write_string(r, 0, NAMES[k % len(NAMES)], name)
        ws.write_number(r, 1, base, money)
        ws.write_number(r, 2, 500, money)
        ws.write_formula(r, 3, "=B%d+C%d" % (r + 1, r + 1), money, base + 500)
        ws.write_string(r, 4, "备注%d" % k)
        ws.write_formula(r, 5, "=D%d*0.9" % (r + 1), money, (base + 500) * 0.9)
    book.close()


def make_openpyxl_two_row_header(path):
    """Header rows 1-2 over B..E with merges across and down; persons from row 3; column A and
    the columns right of E hold other data; tall rows; a hidden person row (the second)."""
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "十二月"
    thin = Side(style="thin", color="FF333333")
    box = Border(left=thin, right=thin, top=thin, bottom=thin)
    fill = PatternFill("solid", fgColor="FFD9E1F2")
    for addr, text in [("B1", "姓名"), ("C1", "应发"), ("E1", "实发"), ("C2", "基本"),
                       ("D2", "奖金")]:
        ws[addr] = text
    ws.merge_cells("B1:B2")
    ws.merge_cells("C1:D1")
    ws.merge_cells("E1:E2")
    for row in ws["B1:E2"]:
        for cell in row:
            cell.border = box
            cell.fill = fill
            cell.font = Font(name="楷体", size=12, bold=True, color="FF0000FF")
            cell.alignment = Alignment(horizontal="center", vertical="center", wrap_text=True)
    ws.row_dimensions[1].height = 22.5
    ws.row_dimensions[2].height = 18
    people = [("甲", 5000, 1200.5), ("乙", 6000, 0), ("丙", 4500.75, 300), (" ", 1, 2)]
    for k, (who, base, bonus) in enumerate(people):
        r = k + 3
        ws.cell(r, 1, "外%d" % k)
        ws.cell(r, 2, who).font = Font(name="宋体", size=10.5, underline="single")
        ws.cell(r, 3, base).number_format = "0.00_ "
        ws.cell(r, 4, bonus).number_format = '"¥"#,##0.00;[Red]-"¥"#,##0.00'
        ws.cell(r, 5, "=C%d+D%d" % (r, r))
        ws.cell(r, 6, "不复制")
        ws.row_dimensions[r].height = 19.5
    ws.row_dimensions[4].hidden = True
    ws.cell(8, 2, "不在表内")  # below the gap at row 7: not counted
    ws.column_dimensions["B"].width = 15.7109375
    ws.column_dimensions["D"].width = 11.42578125
    wb.save(path)
    return people


def blocks_of(ws, height, persons):
    """The first row (1-based) of each slip block."""
    return [k * (height + 2) + 1 for k in range(persons)]


def test_xlsxwriter_table_keeps_every_value_and_format(batch, tmp_path):
    source = tmp_path / "工资表.xlsx"
    result = tmp_path / "工资条.xlsx"
    make_xlsxwriter_table(source)
    before = file_state(source)
    done = run_batch(batch, source, result, "--rows", "1-2", "--cols", "A-F")
    assert done.returncode == 0, done.stderr
    assert done.stderr == ""  # no progress when stderr is not a terminal
    assert file_state(source) == before

    src = openpyxl.load_workbook(source, data_only=True).worksheets[0]
    out = openpyxl.load_workbook(result).worksheets[0]
    rows_written = out.max_row  # before any probe: openpyxl creates the cells it is asked for
    persons = len(NAMES)
    merges = sorted(str(m) for m in out.merged_cells.ranges)
    assert merges == sorted("A%d:F%d" % (b, b) for b in blocks_of(out, 2, persons))
    for k, top in enumerate(blocks_of(out, 2, persons)):
        for col in range(1, 7):
            letter = get_column_letter(col)
            for src_row, dst_row in [(1, top), (2, top + 1), (3 + k, top + 2)]:
                assert_same_look(src.cell(src_row, col), out.cell(dst_row, col),
                                 "%s%d" % (letter, dst_row))
        assert all(out.cell(top + 3, c).value is None for c in range(1, 8)), "row after slip"
        assert out.row_dimensions[top].height == 30
        assert out.row_dimensions[top + 1].height == 24.75
    assert rows_written == persons * 4 - 1
    for col in (1, 2, 3, 4, 6):
        letter = get_column_letter(col)
        assert out.column_dimensions[letter].width == pytest.approx(
            src.column_dimensions[letter].width, abs=1e-9), letter
    # A hidden column reads width 0, and writing 0 hides the column of the result.
    assert out.column_dimensions["E"].hidden
    assert not out.column_dimensions["D"].hidden
    # The result holds values only: formulas come over as their stored results.
    assert out["D3"].value == 3500 and out["D3"].data_type == "n"
    assert out["F7"].value == pytest.approx((3111.25 + 500) * 0.9)


def test_two_row_header_with_merges_starting_in_column_b(batch, tmp_path):
    source = tmp_path / "two_rows.xlsx"
    result = tmp_path / "out.xlsx"
    people = make_openpyxl_two_row_header(source)
    done = run_batch(batch, source, result, "--rows", "1-2", "--cols", "b-e")
    assert done.returncode == 0, done.stderr

    src = openpyxl.load_workbook(source).worksheets[0]
    out = openpyxl.load_workbook(result).worksheets[0]
    rows_written = out.max_row
    persons = len(people)  # the cell holding one space counts; row 8 lies below the gap
    expected = []
    for top in blocks_of(out, 2, persons):
        expected += ["B%d:B%d" % (top, top + 1), "C%d:D%d" % (top, top), "E%d:E%d" % (top, top + 1)]
    assert sorted(str(m) for m in out.merged_cells.ranges) == sorted(expected)
    for k, top in enumerate(blocks_of(out, 2, persons)):
        for col in range(2, 6):
            for src_row, dst_row in [(1, top), (2, top + 1)]:
                assert_same_look(src.cell(src_row, col), out.cell(dst_row, col),
                                 "%s%d" % (get_column_letter(col), dst_row))
            src_cell, dst_cell = src.cell(3 + k, col), out.cell(top + 2, col)
            if col == 5:
                # The formula cell has no stored result in an openpyxl file: it comes over empty.
                assert dst_cell.value is None
            else:
                assert_same_look(src_cell, dst_cell, "%s%d" % (get_column_letter(col), top + 2))
        # Columns outside the header columns are not copied.
        assert out.cell(top + 2, 1).value is None and out.cell(top + 2, 6).value is None
        assert out.row_dimensions[top].height == 22.5
        # The person hidden in the source shows on the slip, at the default height.
        hidden = k == 1
        assert out.row_dimensions[top + 2].height == (None if hidden else 19.5)
        assert not out.row_dimensions[top + 2].hidden
    assert rows_written == persons * 4 - 1
    assert out.column_dimensions["B"].width == 15.7109375
    assert out.column_dimensions["D"].width == 11.42578125


def test_columns_beyond_z(batch, tmp_path):
    source = tmp_path / "wide.xlsx"
    result = tmp_path / "out.xlsx"
    wb = openpyxl.Workbook()
    ws = wb.active
    for col in range(1, 31):
        ws.cell(1, col, "列%d" % col)
        ws.cell(2, col, col * 10)
        ws.cell(3, col, col * 100)
        ws.column_dimensions[get_column_letter(col)].width = 5 + col
    wb.save(source)
    done = run_batch(batch, source, result, "--rows", "1-1", "--cols", "A-AD")
    assert done.returncode == 0, done.stderr
    out = openpyxl.load_workbook(result).worksheets[0]
    assert out.max_row == 5
    assert [out.cell(1, c).value for c in (1, 26, 27, 30)] == ["列1", "列26", "列27", "列30"]
    assert [out.cell(2, c).value for c in (1, 27, 30)] == [10, 270, 300]
    assert [out.cell(5, c).value for c in (1, 27, 30)] == [100, 2700, 3000]
    assert out.cell(3, 30).value is None and out.cell(6, 30).value is None
    # Every header column's width comes over, the two-letter ones too.
    for col in range(1, 31):
        assert out.column_dimensions[get_column_letter(col)].width == 5 + col, col


def test_the_slips_take_the_default_font_of_the_source(batch, tmp_path):
    # Column widths count characters of the default font, so it must come over with them.
    source = tmp_path / "song.xlsx"
    book = xlsxwriter.Workbook(str(source), {"default_format_properties": {
        "font_name": "宋体", "font_size": 12}})
    ws = book.add_worksheet()
    ws.write_row(0, 0, ["姓名", "实发"])
    ws.write_row(1, 0, ["张三", 100])
    ws.set_column(0, 1, 10)
    book.close()
    done = run_batch(batch, source, tmp_path / "out.xlsx", "--rows", "1-1", "--cols", "A-B")
    assert done.returncode == 0, done.stderr
    out = openpyxl.load_workbook(tmp_path / "out.xlsx").worksheets[0]
    assert (out["A1"].font.name, out["A1"].font.sz) == ("宋体", 12)
    assert (out["B2"].font.name, out["B2"].font.sz) == ("宋体", 12)
    # A cell nothing was pasted into shows the workbook's default font.
    assert (out["D9"].font.name, out["D9"].font.sz) == ("宋体", 12)
    assert out.column_dimensions["A"].width == 10.7109375


def test_later_column_first_copies_no_width_but_the_block(batch, tmp_path):
    source = tmp_path / "db.xlsx"
    result = tmp_path / "out.xlsx"
    wb = openpyxl.Workbook()
    ws = wb.active
    for col, text in zip("ABCDE", ["a", "b", "c", "d", "e"]):
        ws[col + "1"] = text.upper()
        ws[col + "2"] = text
        ws.column_dimensions[col].width = 30
    wb.save(source)
    done = run_batch(batch, source, result, "--rows", "1-1", "--cols", "D-B")
    assert done.returncode == 0, done.stderr
    out = openpyxl.load_workbook(result).worksheets[0]
    # Persons are counted down column D; the ranges D1:B1 and D2:B2 are columns B to D, and
    # every paste is anchored in column D.
    assert out.max_row == 2
    assert [out.cell(1, c).value for c in range(1, 8)] == [None, None, None, "B", "C", "D", None]
    assert [out.cell(2, c).value for c in range(1, 8)] == [None, None, None, "b", "c", "d", None]
    assert all(d.width != 30 for d in out.column_dimensions.values())


def test_table_without_persons_gives_only_the_widths(batch, tmp_path):
    source = tmp_path / "empty.xlsx"
    result = tmp_path / "out.xlsx"
    wb = openpyxl.Workbook()
    ws = wb.active
    ws["A1"], ws["B1"] = "姓名", "工资"
    ws["B2"] = 100  # the counted column A is empty right below the header
    ws.column_dimensions["A"].width = 17
    wb.save(source)
    done = run_batch(batch, source, result, "--rows", "1-1", "--cols", "A-B")
    assert done.returncode == 0, done.stderr
    # The clerk is told why: the count ended at once at the empty cell A2.
    assert "没有数到任何人员" in done.stderr and " A2 " in done.stderr, done.stderr
    out = openpyxl.load_workbook(result).worksheets[0]
    assert all(c.value is None for row in out.iter_rows() for c in row)
    assert out.column_dimensions["A"].width == 17
    # Settings from sys.ini: header rows 1-2, counted down column B, which is empty at B3.
    program = private_batch(batch, tmp_path, "[option]\nStartTitleRow=1\nEndTitleRow=2\n"
                            "StartTitleCol=B\nEndTitleCol=B\n")
    done = run_batch(program, source, tmp_path / "out2.xlsx")
    assert done.returncode == 0, done.stderr
    assert "没有数到任何人员" in done.stderr and " B3 " in done.stderr, done.stderr


def test_error_value_in_the_counted_column_fails_with_the_reason(batch, tmp_path):
    source = tmp_path / "err.xlsx"
    result = tmp_path / "out.xlsx"
    book = xlsxwriter.Workbook(str(source))
    ws = book.add_worksheet()
    ws.write_row(0, 0, ["姓名", "工资"])
    ws.write_row(1, 0, ["张三", 1])
    ws.write_formula(2, 0, "=NA()", None, "#N/A")
    book.close()
    before = file_state(source)
    done = run_batch(batch, source, result, "--rows", "1-1", "--cols", "A-B")
    assert done.returncode == 1
    assert "输出工资条失败" in done.stderr and "A3" in done.stderr and "#N/A" in done.stderr, \
        done.stderr
    assert not result.exists()
    assert file_state(source) == before


@pytest.mark.parametrize("content, what", [
    (b"name,pay\n\xe5\xbc\xa0,1\n", "其实是一个 CSV 文本文件（以逗号分隔），不是 Excel 工作簿"),
    (b"<html><body><table><tr><td>1</td></tr></table></body></html>",
     "其实是一个 HTML 网页"),
    (b"", "是空文件"),
])
def test_a_file_that_is_no_workbook_is_named_for_what_it_is(batch, tmp_path, content, what):
    source = tmp_path / "工资.xls"
    source.write_bytes(content)
    done = run_batch(batch, source, tmp_path / "out.xlsx", "--rows", "1-1", "--cols", "A-B")
    assert done.returncode == 1
    assert str(source) in done.stderr and what in done.stderr, done.stderr
    assert not (tmp_path / "out.xlsx").exists()


def test_missing_file_and_folder(batch, tmp_path):
    done = run_batch(batch, tmp_path / "无.xlsx", tmp_path / "out.xlsx", "--rows", "1-1",
                     "--cols", "A-B")
    assert done.returncode == 1
    assert "文件“%s”不存在" % (tmp_path / "无.xlsx") in done.stderr, done.stderr
    done = run_batch(batch, tmp_path, tmp_path / "out.xlsx", "--rows", "1-1", "--cols", "A-B")
    assert done.returncode == 1
    assert "是一个文件夹，不是Excel工作簿" in done.stderr, done.stderr


def test_a_named_pipe_a_device_and_a_socket_are_refused_at_once(batch, tmp_path):
    pipe = tmp_path / "工资.xlsx"
    os.mkfifo(pipe)
    server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    server.bind(str(tmp_path / "sock.xls"))
    try:
        for source, what in [(pipe, "是一个命名管道（FIFO）"), ("/dev/zero", "是一个字符设备"),
                             (tmp_path / "sock.xls", "是一个套接字（socket）")]:
            # Opening the pipe would wait for a writer for ever: the export must not get there.
            done = subprocess.run([batch, str(source), str(tmp_path / "out.xlsx"), "--rows",
                                   "1-1", "--cols", "A-B"], capture_output=True, text=True,
                                  timeout=30)
            assert done.returncode == 1, done.stderr
            assert "“%s”%s" % (source, what) in done.stderr, done.stderr
            assert not (tmp_path / "out.xlsx").exists()
    finally:
        server.close()


def test_refuses_to_write_over_the_source(batch, tmp_path):
    source = tmp_path / "src.xlsx"
    make_xlsxwriter_table(source, persons=2)
    before = file_state(source)
    os.symlink(source, tmp_path / "link.xlsx")
    for target in [source, tmp_path / "." / "src.xlsx", tmp_path / "link.xlsx"]:
        done = run_batch(batch, source, target, "--rows", "1-2", "--cols", "A-F")
        assert done.returncode == 2, (target, done.stderr)
        assert "不能覆盖源文件" in done.stderr
    # A relative spelling of the same file, from its folder.
    done = run_batch(batch, "src.xlsx", "./src.xlsx", "--rows", "1-2", "--cols", "A-F",
                     cwd=tmp_path)
    assert done.returncode == 2
    assert file_state(source) == before
    assert sorted(os.listdir(tmp_path)) == ["link.xlsx", "src.xlsx"]


def test_a_result_that_cannot_be_saved_is_refused_before_the_work(batch, tmp_path):
    source = tmp_path / "src.xlsx"
    make_xlsxwriter_table(source, persons=2)
    done = run_batch(batch, source, tmp_path, "--rows", "1-2", "--cols", "A-F")
    assert done.returncode == 2
    assert "是一个文件夹" in done.stderr, done.stderr
    done = run_batch(batch, source, tmp_path / "无此文件夹" / "out.xlsx", "--rows", "1-2",
                     "--cols", "A-F")
    assert done.returncode == 2
    assert "“%s”不存在" % (tmp_path / "无此文件夹") in done.stderr, done.stderr
    assert sorted(os.listdir(tmp_path)) == ["src.xlsx"]


def test_an_existing_result_is_replaced_whole(batch, tmp_path):
    source = tmp_path / "src.xlsx"
    result = tmp_path / "out.xlsx"
    make_xlsxwriter_table(source, persons=3)
    result.write_bytes(b"old")
    done = run_batch(batch, source, result, "--rows", "1-2", "--cols", "A-F")
    assert done.returncode == 0, done.stderr
    assert openpyxl.load_workbook(result).worksheets[0].max_row == 11
    assert sorted(os.listdir(tmp_path)) == ["out.xlsx", "src.xlsx"]


@pytest.mark.parametrize("name", ["out.xlsx", "out.pdf"])
def test_results_are_readable_by_their_owner_alone_whatever_the_umask(batch, tmp_path, name):
    source = tmp_path / "src.xlsx"
    result = tmp_path / name
    make_xlsxwriter_table(source, persons=2)
    done = subprocess.run([batch, str(source), str(result), "--rows", "1-2", "--cols", "A-F"],
                          capture_output=True, text=True, timeout=300,
                          preexec_fn=lambda: os.umask(0))
    assert done.returncode == 0, done.stderr
    assert os.stat(result).st_mode & 0o777 == 0o600


def test_settings_come_from_sys_ini_beside_the_program(batch, tmp_path):
    source = tmp_path / "src.xlsx"
    make_openpyxl_two_row_header(source)
    program = private_batch(batch, tmp_path, "[other]\nx=1\n[option]\nStartTitleRow=2\n"
                            "EndTitleRow=2\nStartTitleCol=B\nEndTitleCol=D\n")
    done = run_batch(program, source, tmp_path / "out.xlsx")
    assert done.returncode == 0, done.stderr
    out = openpyxl.load_workbook(tmp_path / "out.xlsx").worksheets[0]
    # Header row 2 only, columns B to D: slips of three rows.
    assert [out.cell(1, c).value for c in range(2, 5)] == [None, "基本", "奖金"]
    assert [out.cell(2, c).value for c in range(2, 5)] == ["甲", 5000, 1200.5]
    assert out.cell(2, 5).value is None
    assert out.max_row == 11
    # --rows alone replaces the rows and keeps the stored columns.
    done = run_batch(program, source, tmp_path / "out2.xlsx", "--rows", "1-2")
    assert done.returncode == 0, done.stderr
    out = openpyxl.load_workbook(tmp_path / "out2.xlsx").worksheets[0]
    assert out["B1"].value == "姓名" and out["E1"].value is None and out["B3"].value == "甲"
    with open(os.path.join(tmp_path, "sys.ini"), "rb") as f:
        assert b"[other]\r\nx=1\r\n" in f.read()


def test_settings_that_make_no_sense_fail_the_export(batch, tmp_path):
    source = tmp_path / "src.xlsx"
    make_xlsxwriter_table(source, persons=2)
    program = private_batch(batch, tmp_path, "[option]\nStartTitleRow=1\nEndTitleRow=x\n")
    done = run_batch(program, source, tmp_path / "out.xlsx")
    assert done.returncode == 1
    assert "“x”不是整数" in done.stderr, done.stderr
    # Rows 3 to 1: the first person's row would go to row 0, which the sheet refuses.
    done = run_batch(batch, source, tmp_path / "out.xlsx", "--rows", "3-1", "--cols", "A-F")
    assert done.returncode == 1
    assert "A0" in done.stderr, done.stderr
    assert not (tmp_path / "out.xlsx").exists()


@pytest.mark.parametrize("args", [
    [], ["only.xlsx"], ["a.xlsx", "b.xlsx", "c.xlsx"], ["a.xlsx", "b.xlsx", "--rows", "1"],
    ["a.xlsx", "b.xlsx", "--rows", "0-1"], ["a.xlsx", "b.xlsx", "--cols", "A-1"],
    ["a.xlsx", "b.xlsx", "--cols"], ["a.xlsx", "b.xlsx", "--sheet", "2"],
])
def test_usage_errors(batch, tmp_path, args):
    done = run_batch(batch, *args, cwd=tmp_path)
    assert done.returncode == 2, done.stderr
    assert "用法：quenly-batch" in done.stderr
    assert "--timings" not in done.stderr
    assert os.listdir(tmp_path) == []


def test_file_names_after_a_double_dash_may_start_with_a_dash(batch, tmp_path):
    make_xlsxwriter_table(tmp_path / "-src.xlsx", persons=1)
    done = run_batch(batch, "--rows", "1-2", "--cols", "A-F", "--", "-src.xlsx", "-out.xlsx",
                     cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    assert openpyxl.load_workbook(tmp_path / "-out.xlsx").worksheets[0]["A3"].value == "张三"


def test_timings_name_every_phase(batch, tmp_path):
    source = tmp_path / "src.xlsx"
    make_xlsxwriter_table(source, persons=5)
    timings = tmp_path / "t.txt"
    done = run_batch(batch, "--timings", timings, source, tmp_path / "out.xlsx", "--rows", "1-2",
                     "--cols", "A-F")
    assert done.returncode == 0, done.stderr
    lines = timings.read_text().split("\n")
    assert [line.split(" ")[0] for line in lines if line] == ["read", "count", "copy", "write",
                                                              "total"]
    values = {line.split(" ")[0]: float(line.split(" ")[1]) for line in lines if line}
    assert all(v >= 0 for v in values.values())
    assert values["total"] >= values["read"] + values["write"] - 1e-3


def test_the_example_table(batch, tmp_path):
    example = os.path.join(SOURCE_DIR, "examples", "工资表示例.xlsx")
    before = file_state(example)
    done = run_batch(batch, example, tmp_path / "out.xlsx", "--rows", "1-2", "--cols", "A-J")
    assert done.returncode == 0, done.stderr
    assert file_state(example) == before
    out = openpyxl.load_workbook(tmp_path / "out.xlsx").worksheets[0]
    assert out.max_row == 20 * 4 - 1
    assert out["A1"].value == "2024年12月工资表" and out["B3"].value == "张伟"
    assert out["B79"].value == "罗兰"
    assert len(out.merged_cells.ranges) == 20
