"""quenly-batch --each end to end: one PDF per person named from the name column, holding that
person's slip alone; locked PDFs that open with their password only; refusals that write
nothing."""
import os
import stat
import subprocess

import pytest

from conftest import file_state, run_batch
from make_each_table import PERSONS, make_table

HEADER = ["--rows", "1-2", "--cols", "A-G"]
FILES = ["张三.pdf", "李四.pdf", "张三-2.pdf", "财务_王五.pdf", "赵六_组长.pdf", "第6人.pdf",
         "Amy.pdf", "AMY-2.pdf", "钱七.pdf"]


@pytest.fixture
def table(tmp_path):
    path = tmp_path / "工资表.xlsx"
    make_table(str(path))
    return path


def pdf_text(path, password=None):
    args = ["pdftotext", "-layout"]
    if password is not None:
        args += ["-upw", password]
    done = subprocess.run(args + [str(path), "-"], capture_output=True, text=True)
    return done.returncode, done.stdout


def pages(path, password=None):
    args = ["pdfinfo"] + (["-upw", password] if password is not None else []) + [str(path)]
    out = subprocess.run(args, capture_output=True, text=True, check=True).stdout
    return int(next(line.split()[1] for line in out.splitlines() if line.startswith("Pages:")))


def test_each_person_gets_a_file_with_their_slip_alone(batch, table, tmp_path):
    out = tmp_path / "slips" / "十二月"
    done = run_batch(batch, table, "--each", out, *HEADER, "--name-col", "姓名")
    assert done.returncode == 0, done.stderr
    assert sorted(os.listdir(out)) == sorted(FILES)
    assert stat.S_IMODE(os.stat(out).st_mode) == 0o700
    assert stat.S_IMODE(os.stat(tmp_path / "slips").st_mode) == 0o700
    for k, name in enumerate(FILES):
        path = out / name
        assert stat.S_IMODE(os.stat(path).st_mode) == 0o600
        assert pages(path) == 1
        code, text = pdf_text(path)
        assert code == 0
        number, person, dept, ident, base, net = PERSONS[k]
        assert "2026年12月工资条" in text and "实发工资" in text
        assert number in text and ident in text
        assert "{:,.2f}".format(net) in text
        for other in PERSONS:
            if other[0] != number:
                assert other[0] not in text, (name, other[0])
                assert other[3] not in text, (name, other[3])
                if other[1] and other[1] != person and other[1].upper() != (person or "").upper():
                    assert other[1] not in text, (name, other[1])
    # Nothing but the PDFs: no temporary file is left behind; amounts are never printed.
    assert "4,890.25" not in done.stdout + done.stderr


def test_locked_pdfs_open_with_their_password_only(batch, table, tmp_path):
    out = tmp_path / "locked"
    done = run_batch(batch, table, "--each", out, *HEADER, "--name-col", "B",
                     "--password-col", "身份证号", "--password-last", "6")
    assert done.returncode == 0, done.stderr
    assert sorted(os.listdir(out)) == sorted(FILES)
    for k, name in enumerate(FILES):
        path = out / name
        password = PERSONS[k][3][-6:]
        # qpdf --requires-password: 0 when a password is needed to open the file.
        assert subprocess.run(["qpdf", "--requires-password", str(path)]).returncode == 0
        shown = subprocess.run(["qpdf", "--show-encryption", "--password=" + password, str(path)],
                               capture_output=True, text=True)
        assert "R = 6" in shown.stdout and "AESv3" in shown.stdout, shown.stdout
        with open(path, "rb") as f:
            assert f.read(8) == b"%PDF-2.0"
        code, text = pdf_text(path, password)
        assert code == 0 and PERSONS[k][0] in text
        assert pages(path, password) == 1
        for wrong in [None, PERSONS[(k + 1) % len(PERSONS)][3][-6:], PERSONS[k][3]]:
            assert pdf_text(path, wrong)[0] != 0, (name, wrong)


def test_files_in_the_way_are_kept_unless_overwrite(batch, table, tmp_path):
    out = tmp_path / "out"
    out.mkdir()
    (out / "李四.pdf").write_bytes(b"not mine")
    (out / "other.txt").write_bytes(b"keep")
    before = file_state(out / "李四.pdf")
    done = run_batch(batch, table, "--each", out, *HEADER, "--name-col", "姓名")
    assert done.returncode == 1
    assert "李四.pdf" in done.stderr and "--overwrite" in done.stderr
    assert sorted(os.listdir(out)) == ["other.txt", "李四.pdf"]
    assert file_state(out / "李四.pdf") == before

    done = run_batch(batch, table, "--each", out, *HEADER, "--name-col", "姓名", "--overwrite")
    assert done.returncode == 0, done.stderr
    assert sorted(os.listdir(out)) == sorted(FILES + ["other.txt"])
    assert "E002" in pdf_text(out / "李四.pdf")[1]

    # A folder under a slip's name is never replaced, not even with --overwrite.
    (out / "张三.pdf").unlink()
    (out / "张三.pdf").mkdir()
    done = run_batch(batch, table, "--each", out, *HEADER, "--name-col", "姓名", "--overwrite")
    assert done.returncode == 1 and "张三.pdf" in done.stderr
    assert os.path.isdir(out / "张三.pdf")


def test_an_empty_password_cell_names_its_row_and_writes_nothing(batch, tmp_path):
    persons = list(PERSONS)
    persons[3] = persons[3][:3] + ("",) + persons[3][4:]
    persons[6] = persons[6][:3] + (None,) + persons[6][4:]
    table = tmp_path / "t.xlsx"
    make_table(str(table), persons)
    out = tmp_path / "new"
    done = run_batch(batch, table, "--each", out, *HEADER, "--name-col", "姓名",
                     "--password-col", "D")
    assert done.returncode == 1
    assert "第 6 行（财务/王五）" in done.stderr and "第 9 行（Amy）" in done.stderr, done.stderr
    assert not out.exists()


@pytest.mark.parametrize("args, code, says", [
    (["--name-col", "不存在"], 2, "姓名（B 列）"),
    (["--name-col", "姓名", "--password-col", "密码"], 2, "身份证号（D 列）"),
    ([], 2, "--name-col"),
    (["--name-col", "姓名", "--password-last", "6"], 2, "--password-col"),
    (["--name-col", "姓名", "--password-col", "D", "--password-last", "0"], 2, "1 到 1000"),
])
def test_usage_errors(batch, table, tmp_path, args, code, says):
    out = tmp_path / "new"
    done = run_batch(batch, table, "--each", out, *HEADER, *args)
    assert done.returncode == code, done.stderr
    assert says in done.stderr
    assert not out.exists()


def test_a_file_named_as_the_folder_is_refused(batch, table, tmp_path):
    blocker = tmp_path / "file"
    blocker.write_text("x")
    done = run_batch(batch, table, "--each", blocker, *HEADER, "--name-col", "姓名")
    assert done.returncode == 2 and "不是文件夹" in done.stderr
    assert blocker.read_text() == "x"
