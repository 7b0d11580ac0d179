"""`cmake --install` to a prefix, and the launcher it installs: each user runs an own copy of the
programs in ~/.local/lib/quenly/, made private whatever the umask, renewed when the installed
program changes, with sys.ini beside it kept."""
import os
import shutil
import stat
import subprocess

import openpyxl
import pytest

BUILD = os.environ.get("QUENLY_BUILD_DIR", "")
SOURCE_DIR = os.environ.get("QUENLY_SOURCE_DIR", "")


@pytest.fixture(scope="module")
def prefix(tmp_path_factory):
    prefix = tmp_path_factory.mktemp("prefix")
    subprocess.run(["cmake", "--install", BUILD, "--prefix", str(prefix)], check=True,
                   capture_output=True)
    return prefix


def launch(prefix, home, *args, umask=0o022):
    env = {"HOME": str(home), "PATH": "/usr/bin:/bin", "LANG": "C.UTF-8"}
    return subprocess.run([str(prefix / "bin" / "quenly-batch"), *map(str, args)], env=env,
                          capture_output=True, text=True, timeout=120,
                          preexec_fn=lambda: os.umask(umask))


def mode(path):
    return stat.S_IMODE(os.stat(path).st_mode)


def test_the_installed_layout(prefix):
    for launcher in ("quenly", "quenly-batch"):
        assert (prefix / "bin" / launcher).read_bytes() == \
            (prefix / "bin" / "quenly-batch").read_bytes()
        assert mode(prefix / "libexec" / "quenly" / launcher) == 0o755
    assert (prefix / "share" / "applications" / "quenly.desktop").exists()
    assert (prefix / "share" / "icons" / "hicolor" / "48x48" / "apps" / "quenly.png").exists()
    for folder, _, files in os.walk(prefix):
        for name in [folder] + [os.path.join(folder, f) for f in files]:
            assert not os.lstat(name).st_mode & stat.S_IWOTH, name


def test_each_user_runs_an_own_copy_with_its_own_settings(prefix, tmp_path):
    home = tmp_path / "home"
    home.mkdir()
    source = os.path.join(SOURCE_DIR, "examples", "工资表示例.xlsx")
    # The first start makes the copy, private even under a umask that hides nothing.
    done = launch(prefix, home, source, tmp_path / "a.xlsx", "--rows", "1-2", "--cols", "A-J",
                  umask=0)
    assert done.returncode == 0, done.stderr
    own = home / ".local" / "lib" / "quenly"
    assert mode(home / ".local") == 0o700 and mode(own) == 0o700
    assert mode(own / "quenly-batch") == 0o700
    assert (own / "quenly-batch").read_bytes() == \
        (prefix / "libexec" / "quenly" / "quenly-batch").read_bytes()
    assert not (prefix / "libexec" / "quenly" / "sys.ini").exists()

    # The settings are read from beside the copy that runs.
    (own / "sys.ini").write_bytes(b"[option]\r\nStartTitleRow=1\r\nEndTitleRow=2\r\n"
                                  b"StartTitleCol=A\r\nEndTitleCol=J\r\n")
    done = launch(prefix, home, source, tmp_path / "b.xlsx")
    assert done.returncode == 0, done.stderr
    slips = openpyxl.load_workbook(tmp_path / "b.xlsx").worksheets[0]
    first = openpyxl.load_workbook(source, data_only=True).worksheets[0]
    assert [c.value for c in slips[3]][:10] == [c.value for c in first[3]][:10]


def test_a_changed_program_is_copied_again_and_the_settings_stay(prefix, tmp_path):
    home = tmp_path / "home"
    own = home / ".local" / "lib" / "quenly"
    own.mkdir(parents=True)
    (own / "sys.ini").write_text("[option]\n")
    installed = prefix / "libexec" / "quenly" / "quenly-batch"
    kept = tmp_path / "kept"
    shutil.copy2(installed, kept)
    try:
        # A new version of the program, here one that tells where it runs from.
        installed.write_text("#!/bin/sh\necho \"$0 $*\"\n")
        done = launch(prefix, home, "--version")
        assert done.stdout.strip() == "%s --version" % (own / "quenly-batch")
        assert (own / "quenly-batch").read_text() == installed.read_text()
        assert (own / "sys.ini").read_text() == "[option]\n"
        assert [p.name for p in own.iterdir() if p.name.startswith(".")] == []
    finally:
        shutil.copy2(kept, installed)


def test_without_home_the_launcher_says_so(prefix):
    done = subprocess.run([str(prefix / "bin" / "quenly")], env={"PATH": "/usr/bin:/bin"},
                          capture_output=True, text=True, timeout=60)
    assert done.returncode == 1
    assert "HOME is not set" in done.stderr
