"""`cmake --install` to a prefix, and the launcher it installs: each user runs an own copy of the
programs in ~/.local/lib/quenly/, made private whatever the umask, renewed when the installed
program changes, with sys.ini beside it kept; the sending window starts through it as well."""
import os
import shutil
import stat
import struct
import subprocess
import time

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


ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def mode(path):
    return stat.S_IMODE(os.stat(path).st_mode)


def png_size(path):
    data = path.read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n" and data[12:16] == b"IHDR", path
    return struct.unpack(">II", data[16:24])


def test_the_installed_layout(prefix):
    for launcher in ("quenly", "quenly-batch", "quenly-send"):
        assert (prefix / "bin" / launcher).read_bytes() == \
            (prefix / "bin" / "quenly-batch").read_bytes()
        assert mode(prefix / "libexec" / "quenly" / launcher) == 0o755
    for entry in ("quenly", "quenly-send"):
        desktop = (prefix / "share" / "applications" / (entry + ".desktop")).read_text()
        assert "\nExec=%s\n" % entry in desktop and "\nIcon=%s\n" % entry in desktop
    # Each program's icon at every size of the theme, the two drawings different.
    for size in ICON_SIZES:
        apps = prefix / "share" / "icons" / "hicolor" / ("%dx%d" % (size, size)) / "apps"
        for icon in ("quenly.png", "quenly-send.png"):
            assert png_size(apps / icon) == (size, size), apps / icon
        assert (apps / "quenly.png").read_bytes() != (apps / "quenly-send.png").read_bytes()
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


@pytest.mark.skipif(not os.environ.get("DISPLAY"), reason="needs an X display")
def test_the_sending_window_starts_from_the_users_own_copy(prefix, tmp_path):
    home = tmp_path / "home"
    home.mkdir()
    env = {"HOME": str(home), "PATH": "/usr/bin:/bin", "LANG": "C.UTF-8"}
    # The display, and the key to it that xvfb-run keeps outside the home folder.
    env.update({k: v for k, v in os.environ.items() if k in ("DISPLAY", "XAUTHORITY")})
    log = tmp_path / "quenly-send.log"
    # The launcher execs the program, which keeps the launcher's process id.
    with open(log, "wb") as out:
        window = subprocess.Popen([str(prefix / "bin" / "quenly-send")], env=env,
                                  stdout=out, stderr=subprocess.STDOUT)
    try:
        found = []
        deadline = time.monotonic() + 60
        while not found and window.poll() is None and time.monotonic() < deadline:
            time.sleep(0.2)
            found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid",
                                    str(window.pid), "--name", "^发送工资条$"],
                                   capture_output=True, text=True).stdout.split()
        assert found, "no window came up (exit status %s): %s" % (window.poll(),
                                                                  log.read_text())
        # The class the desktop entry's StartupWMClass names.
        wm_class = subprocess.run(["xprop", "-id", found[0], "WM_CLASS"], capture_output=True,
                                  text=True).stdout
        assert wm_class.strip().endswith('"quenly-send", "quenly-send"'), wm_class
        own = home / ".local" / "lib" / "quenly"
        assert os.readlink("/proc/%d/exe" % window.pid) == os.path.realpath(own / "quenly-send")
        assert mode(own / "quenly-send") == 0o700
        assert (own / "quenly-send").read_bytes() == \
            (prefix / "libexec" / "quenly" / "quenly-send").read_bytes()
        # It stays in its message loop.
        time.sleep(3)
        assert window.poll() is None, log.read_text()
    finally:
        window.terminate()
        window.wait(timeout=30)
