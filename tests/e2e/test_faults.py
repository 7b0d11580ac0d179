"""quenly-batch when things go wrong: the source workbook is never changed, a result is saved
whole or not at all (no space, no permission, the folder gone), an older result survives a
failed save, every failure says why in Chinese, and paths with Chinese characters, spaces,
quotes and blanks at either end work as typed."""
import os
import random
import shutil
import subprocess
import time

import openpyxl
import pytest
import xlsxwriter
import xlwt

from conftest import file_state, private_batch, run_batch

HEADINGS = ["工号", "姓名", "部门", "基本工资", "绩效", "实发"]
DEPARTMENTS = ["财务部", "销售一部", "研发中心", "生产二车间", "仓储物流部"]


def people(persons):
    """Fixed pseudo-random persons: varied enough that the slips do not compress to nothing."""
    rng = random.Random(persons)
    out = []
    for k in range(persons):
        name = "".join(rng.choice("王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗郑梁谢宋唐许韩冯邓曹")
                       for _ in range(rng.randint(2, 3)))
        base = round(rng.uniform(2500, 30000), 2)
        bonus = round(rng.uniform(0, 9000), 2)
        out.append(("E%06d" % (k + 1), name, rng.choice(DEPARTMENTS), base, bonus,
                    round(base + bonus, 2)))
    return out


def make_xlsx(path, persons=3, error_at=None):
    """Title merged over A1:F1, headings in row 2, persons from row 3; person `error_at` (0-based)
    has #N/A in the counted column A."""
    book = xlsxwriter.Workbook(str(path))
    ws = book.add_worksheet("工资表")
    title = book.add_format({"bold": True, "font_size": 16, "align": "center"})
    head = book.add_format({"bold": True, "border": 1, "bg_color": "#DDEBF7"})
    money = book.add_format({"num_format": "#,##0.00", "border": 1})
    ws.merge_range(0, 0, 0, 5, "2026年11月工资表", title)
    ws.write_row(1, 0, HEADINGS, head)
    for k, person in enumerate(people(persons)):
        if k == error_at:
            ws.write_formula(k + 2, 0, "=NA()", None, "#N/A")
            ws.write_row(k + 2, 1, person[1:3])
        else:
            ws.write_row(k + 2, 0, person[:3])
        for c in range(3, 6):
            ws.write_number(k + 2, c, person[c], money)
    ws.set_column(0, 5, 12)
    book.close()


def make_xls(path, persons=3, error_at=None):
    """The same table as make_xlsx, as .xls (BIFF8)."""
    book = xlwt.Workbook(encoding="utf-8")
    ws = book.add_sheet("工资表")
    title = xlwt.easyxf("font: bold on, height 320; align: horiz center")
    head = xlwt.easyxf("font: bold on; borders: left thin, right thin, top thin, bottom thin")
    money = xlwt.easyxf("borders: left thin, right thin, top thin, bottom thin",
                        num_format_str="#,##0.00")
    ws.write_merge(0, 0, 0, 5, "2026年11月工资表", title)
    for c, text in enumerate(HEADINGS):
        ws.write(1, c, text, head)
    for k, person in enumerate(people(persons)):
        r = k + 2
        if k == error_at:
            ws.row(r).set_cell_error(0, 0x2A)  # #N/A
        else:
            ws.write(r, 0, person[0])
        ws.write(r, 1, person[1])
        ws.write(r, 2, person[2])
        for c in range(3, 6):
            ws.write(r, c, person[c], money)
    for c in range(6):
        ws.col(c).width = 12 * 256
    book.save(str(path))


MAKERS = {"xlsx": make_xlsx, "xls": make_xls}
# An old modification time, so that any write would show even within the same clock tick.
OLD_TIME = (1_500_000_000_123_456_789, 1_500_000_000_123_456_789)
ROWS_COLS = ["--rows", "1-2", "--cols", "A-F"]


def mount_tmpfs(directory, size):
    """Mounts a tmpfs of `size` on `directory`; skips the test when that is not possible."""
    if os.geteuid() != 0:
        pytest.skip("mounting a small tmpfs needs root; this test runs as uid %d" % os.geteuid())
    done = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%s" % size, "tmpfs",
                           str(directory)], capture_output=True, text=True)
    if done.returncode != 0:
        pytest.skip("cannot mount a tmpfs on %s: %s" % (directory, done.stderr.strip()))


@pytest.fixture
def small_disks():
    """Mounts small tmpfs file systems on request and takes them away after the test."""
    mounted = []

    def mount(directory, size="256k"):
        directory.mkdir(exist_ok=True)
        mount_tmpfs(directory, size)
        mounted.append(directory)
        return directory

    yield mount
    for directory in reversed(mounted):
        subprocess.run(["umount", "-l", str(directory)], capture_output=True)


@pytest.fixture
def unwritable_folder(tmp_path, small_disks):
    """A folder nothing can be saved into, holding `old` (bytes) as out.xlsx when given: a
    read-only tmpfs for root (who may write anywhere else), a folder without write permission
    for anyone else."""
    made = []

    def make(old=None):
        folder = tmp_path / "只读"
        if os.geteuid() == 0:
            small_disks(folder, "1m")
        else:
            folder.mkdir()
        if old is not None:
            (folder / "out.xlsx").write_bytes(old)
            os.utime(folder / "out.xlsx", ns=OLD_TIME)
        if os.geteuid() == 0:
            done = subprocess.run(["mount", "-o", "remount,ro", str(folder)], capture_output=True,
                                  text=True)
            if done.returncode != 0:
                pytest.skip("cannot make the tmpfs read-only: " + done.stderr.strip())
        else:
            os.chmod(folder, 0o555)
            made.append(folder)
        return folder

    yield make
    for folder in made:
        os.chmod(folder, 0o755)


def listing(folder):
    return sorted(os.listdir(folder))


def first_sheet(path):
    """The first worksheet of the result at `path`, whatever its name ends with."""
    with open(path, "rb") as f:
        return openpyxl.load_workbook(f).worksheets[0]


def failure_text(done):
    """The one line quenly-batch prints for a failed export."""
    assert done.stderr.startswith("quenly-batch：输出工资条失败："), done.stderr
    assert done.stderr.endswith("\n") and done.stderr.count("\n") == 1, done.stderr
    return done.stderr[len("quenly-batch："):-1]


@pytest.mark.parametrize("fmt", ["xlsx", "xls"])
@pytest.mark.parametrize("case", ["good", "bad_settings", "error_value", "unwritable",
                                  "result_is_folder", "disk_full"])
def test_the_source_is_never_changed(batch, tmp_path, fmt, case, small_disks,
                                     unwritable_folder):
    src_dir = tmp_path / "源"
    src_dir.mkdir()
    source = src_dir / ("工资表." + fmt)
    persons = 6000 if case == "disk_full" else 4
    MAKERS[fmt](source, persons, error_at=2 if case == "error_value" else None)
    os.utime(source, ns=OLD_TIME)
    before = file_state(source)
    out_dir = tmp_path / "结果"
    out_dir.mkdir()
    program = batch
    args = ROWS_COLS
    if case == "bad_settings":
        program = private_batch(batch, str(tmp_path), "[option]\nStartTitleRow=1\n"
                                "EndTitleRow=两行\nStartTitleCol=A\nEndTitleCol=F\n")
        args = []
    elif case == "unwritable":
        out_dir = unwritable_folder()
    elif case == "disk_full":
        small_disks(out_dir)
    result = out_dir / "out.xlsx"
    if case == "result_is_folder":
        result.mkdir()

    done = run_batch(program, source, result, *args)

    assert file_state(source) == before, "the source was changed"
    assert listing(src_dir) == ["工资表." + fmt], "something was left beside the source"
    if case == "good":
        assert done.returncode == 0, done.stderr
        out = openpyxl.load_workbook(result).worksheets[0]
        assert out["A3"].value == "E000001" and out["F15"].value == people(4)[3][5]
        assert listing(out_dir) == ["out.xlsx"]
        return
    if case == "result_is_folder":
        assert done.returncode == 2
        assert "“%s”是一个文件夹" % result in done.stderr, done.stderr
        assert listing(result) == []
        return
    assert done.returncode == 1, done.stderr
    text = failure_text(done)
    expected = {
        "bad_settings": "输出工资条失败：结束标题行“两行”不是整数",
        "error_value": "输出工资条失败：单元格 A5 的值是错误值 #N/A，无法清点人数",
        "unwritable": "输出工资条失败：无法保存到“%s”：" % result + (
            "该位置是只读的，请换一个文件夹保存" if os.geteuid() == 0
            else "没有写入权限，请换一个文件夹保存"),
        "disk_full": "输出工资条失败：无法保存到“%s”：磁盘空间不足，请腾出空间或换一个位置保存"
                     % result,
    }[case]
    assert text == expected
    assert listing(out_dir) == [], "a failed export left a file"


@pytest.mark.parametrize("fault", ["disk_full", "unwritable"])
def test_a_failed_save_leaves_an_older_result_intact(batch, tmp_path, fault, small_disks,
                                                     unwritable_folder):
    source = tmp_path / "src.xlsx"
    make_xlsx(source, persons=6000)
    small = tmp_path / "small.xlsx"
    make_xlsx(small, persons=1)
    assert run_batch(batch, small, tmp_path / "old.xlsx", *ROWS_COLS).returncode == 0
    old = (tmp_path / "old.xlsx").read_bytes()
    if fault == "disk_full":
        folder = small_disks(tmp_path / "满", "256k")
        (folder / "out.xlsx").write_bytes(old)
        os.utime(folder / "out.xlsx", ns=OLD_TIME)
    else:
        folder = unwritable_folder(old)
    result = folder / "out.xlsx"
    before = file_state(result)
    assert before[1] == OLD_TIME[1]

    done = run_batch(batch, source, result, *ROWS_COLS)

    assert done.returncode == 1
    assert failure_text(done).startswith("输出工资条失败：无法保存到“%s”：" % result)
    assert file_state(result) == before
    assert listing(folder) == ["out.xlsx"], "a temporary file was left"
    assert openpyxl.load_workbook(result).worksheets[0]["A3"].value == "E000001"


def test_a_result_larger_than_the_disk_is_not_saved_at_all(batch, tmp_path, small_disks):
    # The same table fits on a larger disk: what fails is only the space.
    source = tmp_path / "src.xls"
    make_xls(source, persons=6000)
    roomy = tmp_path / "roomy.xlsx"
    assert run_batch(batch, source, roomy, *ROWS_COLS).returncode == 0
    size = roomy.stat().st_size
    assert size > 256 * 1024, "the result must not fit on the small disk (%d bytes)" % size
    folder = small_disks(tmp_path / "小盘", "256k")
    done = run_batch(batch, source, folder / "工资条.xlsx", *ROWS_COLS)
    assert done.returncode == 1
    assert failure_text(done) == ("输出工资条失败：无法保存到“%s”：磁盘空间不足，请腾出空间或换一"
                                  "个位置保存" % (folder / "工资条.xlsx"))
    assert listing(folder) == []
    # The space a failed save used is free again.
    st = os.statvfs(folder)
    assert st.f_bfree == st.f_blocks


def test_the_result_folder_disappearing_during_the_save(batch, tmp_path):
    source = tmp_path / "src.xlsx"
    book = xlsxwriter.Workbook(str(source), {"constant_memory": True})
    ws = book.add_worksheet()
    ws.write_row(0, 0, HEADINGS)
    for k in range(120000):
        ws.write_row(k + 1, 0, ["E%06d" % k, "员工%d" % (k % 977), DEPARTMENTS[k % 5], k * 1.25,
                                k % 89, k * 1.25 + k % 89])
    book.close()
    folder = tmp_path / "要删的文件夹"
    folder.mkdir()
    result = folder / "out.xlsx"
    with open(tmp_path / "stderr", "w+") as err:
        child = subprocess.Popen([batch, str(source), str(result), "--rows", "1-1", "--cols",
                                  "A-F"], stdout=subprocess.DEVNULL, stderr=err)
        # The save writes a hidden temporary file first; take the folder away while it does.
        deadline = time.monotonic() + 120
        while child.poll() is None and time.monotonic() < deadline:
            if any(name.startswith(".out.xlsx.tmp.") for name in os.listdir(folder)):
                shutil.rmtree(folder)
                break
        else:
            child.kill()
            child.wait()
            pytest.fail("the save ended before the folder could be removed")
        returncode = child.wait(timeout=120)
        err.seek(0)
        stderr = err.read()
    assert returncode == 1, stderr
    assert stderr == ("quenly-batch：输出工资条失败：无法保存到“%s”：保存结果的文件夹已不存在"
                      "（可能已被删除或移走）\n" % result)
    assert not folder.exists(), "the save made the folder again"


STRANGE_NAMES = [
    " 十二月 工资表 ",
    "工资'表'",
    '工资"表"',
    "  '张三 \"李四\"'  ",
]


@pytest.mark.parametrize("name", STRANGE_NAMES)
def test_paths_with_spaces_quotes_and_blanks_at_the_ends(batch, tmp_path, name):
    folder = tmp_path / (" 工资 '目录' \"一\" ")
    folder.mkdir()
    source = folder / (name + ".xlsx")
    make_xlsx(source, persons=2)
    before = file_state(source)
    result = folder / ("  " + name + " 的工资条.xlsx ")
    done = run_batch(batch, source, result, *ROWS_COLS)
    assert done.returncode == 0, done.stderr
    assert file_state(source) == before
    assert listing(folder) == sorted([source.name, result.name])
    out = first_sheet(result)
    assert [out["A1"].value, out["B3"].value, out["A7"].value] == ["2026年11月工资表",
                                                                   people(2)[0][1], "E000002"]


def test_blanks_around_a_path_are_part_of_it(batch, tmp_path):
    make_xlsx(tmp_path / "工资表.xlsx", persons=1)
    spaced = "  工资表.xlsx "
    # Only the file without the blanks exists: the path is opened as given, and fails.
    done = run_batch(batch, spaced, "out.xlsx", *ROWS_COLS, cwd=tmp_path)
    assert done.returncode == 1
    assert failure_text(done) == ("输出工资条失败：文件“  工资表.xlsx ”不存在（路径的开头或结尾有"
                                  "空格；去掉空格后的“工资表.xlsx”是存在的）")
    assert listing(tmp_path) == ["工资表.xlsx"]
    # A file whose name has those blanks opens, and the other one is not looked at.
    make_xlsx(tmp_path / spaced, persons=3)
    done = run_batch(batch, spaced, " out.xlsx", *ROWS_COLS, cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    assert first_sheet(tmp_path / " out.xlsx").max_row == 11
    # A path of blanks only is no path at all.
    done = run_batch(batch, "   ", "out.xlsx", *ROWS_COLS, cwd=tmp_path)
    assert (done.returncode, done.stderr) == (1, "quenly-batch：请先选择Excel文件！\n")
    assert listing(tmp_path) == sorted([" out.xlsx", spaced, "工资表.xlsx"])
