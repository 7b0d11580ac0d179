"""The program as a clerk runs it, under a real window manager: however it is closed (close button,
Esc, close box, SIGTERM, a close during an export), it ends and no process it started for the
help pane outlives it; a spreadsheet application it opened the result in stays open."""
import ctypes
import os
import shutil
import signal
import subprocess
import sys
import time

import pytest

PROGRAM = os.environ.get("QUENLY_PROGRAM", "")
SOURCE_DIR = os.environ.get("QUENLY_SOURCE_DIR",
                            os.path.dirname(os.path.dirname(os.path.dirname(
                                os.path.abspath(__file__)))))
PR_SET_CHILD_SUBREAPER = 36

# Places of the controls inside the window and the dialog, as they are laid out.
PATH_BOX = (320, 30)
EXPORT_BUTTON = (704, 30)
CLOSE_BUTTON = (856, 30)
OK_BUTTON = (149, 161)

pytestmark = pytest.mark.skipif(not os.environ.get("DISPLAY"), reason="needs an X display")


def tool(*args, check=True):
    return subprocess.run(args, capture_output=True, text=True, timeout=60, check=check)


def processes():
    """pid -> (parent pid, command name, state) of every process."""
    out = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                stat = f.read()
        except OSError:
            continue
        name = stat[stat.index("(") + 1:stat.rindex(")")]
        fields = stat[stat.rindex(")") + 2:].split()
        out[int(entry)] = (int(fields[1]), name, fields[0])
    return out


def descendants(pid):
    table = processes()
    found, frontier = [], [pid]
    while frontier:
        parent = frontier.pop()
        for child, (ppid, _, _) in table.items():
            if ppid == parent:
                found.append(child)
                frontier.append(child)
    return found


def alive(pid):
    state = processes().get(pid)
    return state is not None and state[2] != "Z"


def reap():
    """Waits for the orphans this test process took on as their subreaper."""
    while True:
        try:
            pid, _ = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            return
        if pid == 0:
            return


@pytest.fixture(scope="module")
def window_manager(tmp_path_factory):
    for name in ("openbox", "xdotool", "wmctrl"):
        if shutil.which(name) is None:
            pytest.fail("%s is not installed (scripts/setup.sh installs it)" % name)
    # Orphaned descendants of the program come to this process, so the test sees and ends them.
    libc = ctypes.CDLL(None, use_errno=True)
    assert libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) == 0
    log = tmp_path_factory.mktemp("openbox") / "openbox.log"
    wm = start_openbox(log)
    yield wm
    wm.terminate()
    wm.wait(timeout=20)


def start_openbox(log):
    """Starts openbox and waits until it manages the display. On a machine that has just been set
    up its first start may build font caches for a while, so the wait is long; an openbox that
    ends before it manages the display is started again, and its own words are shown when it
    never does."""
    for attempt in range(3):
        with open(log, "ab") as out:
            wm = subprocess.Popen(["openbox", "--sm-disable", "--replace"],
                                  stdout=out, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 90
        while wm.poll() is None and time.monotonic() < deadline:
            if tool("wmctrl", "-m", check=False).returncode == 0:
                return wm
            time.sleep(0.2)
        if wm.poll() is None:
            wm.kill()
            wm.wait(timeout=20)
            break
    pytest.fail("openbox did not start (exit status %s); it said:\n%s"
                % (wm.returncode, log.read_text(errors="replace")))


@pytest.fixture(scope="module")
def wage_table(tmp_path_factory):
    """A table whose export lasts well past the header dialog's closing, on an idle machine too
    (20,000 persons were saved before the close could be asked)."""
    path = tmp_path_factory.mktemp("table") / "wages.xlsx"
    subprocess.run([sys.executable, os.path.join(SOURCE_DIR, "bench", "generate_wage_table.py"),
                    "40000", str(path)], check=True, timeout=300)
    return path


class Program:
    """A copy of the program with its own sys.ini, HOME and desktop commands; the desktop's
    spreadsheet application is a process that stays until the test ends it."""

    def __init__(self, tmp_path):
        if not PROGRAM or not os.path.exists(PROGRAM):
            pytest.fail("the program is not at %r (set QUENLY_PROGRAM)" % PROGRAM)
        self.folder = tmp_path / "program"
        self.folder.mkdir()
        shutil.copy2(PROGRAM, self.folder / "quenly")
        (self.folder / "sys.ini").write_bytes(
            b"[option]\r\nStartTitleRow=1\r\nEndTitleRow=2\r\nStartTitleCol=A\r\n"
            b"EndTitleCol=Y\r\n")
        self.home = tmp_path / "home"
        self.home.mkdir()
        desktop = tmp_path / "desktop"
        desktop.mkdir()
        (desktop / "xdg-mime").write_text("#!/bin/sh\necho calc.desktop\n")
        self.opened = tmp_path / "opened.txt"
        (desktop / "xdg-open").write_text(
            "#!/bin/sh\necho \"$1\" > '%s'\nexec sleep 600\n" % self.opened)
        for f in desktop.iterdir():
            f.chmod(0o755)
        env = dict(os.environ, HOME=str(self.home),
                   PATH="%s:%s" % (desktop, os.environ.get("PATH", "")))
        env.pop("XDG_CACHE_HOME", None)
        self.process = subprocess.Popen([str(self.folder / "quenly")], env=env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.window = self.find_window("^Quenly$")
        self.web_processes = self.wait_for_help_pane()

    def find_window(self, title):
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            found = self.windows(title)
            if found:
                return found[-1]
            assert self.process.poll() is None, "the program ended before showing %s" % title
            time.sleep(0.1)
        pytest.fail("no window %s appeared" % title)

    def wait_for_help_pane(self):
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            table = processes()
            web = [p for p in descendants(self.process.pid)
                   if table.get(p, (0, ""))[1].startswith("QtWebEngine")]
            if web:
                time.sleep(1)
                return [p for p in descendants(self.process.pid)
                        if processes().get(p, (0, ""))[1].startswith("QtWebEngine")]
            time.sleep(0.1)
        pytest.fail("the help pane started no browser process")

    def click(self, window, spot):
        tool("xdotool", "mousemove", "--window", window, str(spot[0]), str(spot[1]), "click", "1")

    def windows(self, title):
        """The program's shown windows whose title matches `title`."""
        return tool("xdotool", "search", "--all", "--onlyvisible", "--pid",
                    str(self.process.pid), "--name", title, check=False).stdout.split()

    def export(self, source):
        """Starts an export of `source` and confirms the header options; returns when the dialog
        has gone and the export runs."""
        self.click(self.window, PATH_BOX)
        tool("xdotool", "type", "--delay", "2", str(source))
        self.click(self.window, EXPORT_BUTTON)
        dialog = self.find_window("表头选项")
        deadline = time.monotonic() + 60
        while dialog in self.windows("表头选项"):
            # A click that comes before the dialog takes input is lost: click again.
            assert time.monotonic() < deadline, "the header options dialog stayed open"
            self.click(dialog, OK_BUTTON)
            time.sleep(0.5)

    def wait_for_exit(self):
        return self.process.wait(timeout=120)

    def assert_nothing_left(self):
        """Every browser process of the help pane ends with the program."""
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and any(alive(p) for p in self.web_processes):
            reap()
            time.sleep(0.1)
        left = [p for p in self.web_processes if alive(p)]
        for p in left:
            os.kill(p, signal.SIGKILL)
        reap()
        assert not left, "%d of the help pane's %d processes outlived the program" % (
            len(left), len(self.web_processes))

    def end_application(self):
        """Ends the stand-in spreadsheet application (it was left to run on purpose)."""
        table = processes()
        for pid in descendants(os.getpid()):
            if table.get(pid, (0, "", ""))[1] in ("sleep", "sh", "xdg-open"):
                os.kill(pid, signal.SIGKILL)
        reap()


@pytest.mark.parametrize("how", ["close button", "Esc", "close box", "SIGTERM"])
def test_every_way_of_closing_ends_the_help_pane_too(window_manager, tmp_path, how):
    program = Program(tmp_path)
    if how == "close button":
        program.click(program.window, CLOSE_BUTTON)
    elif how == "Esc":
        tool("xdotool", "windowactivate", "--sync", program.window)
        tool("xdotool", "key", "--clearmodifiers", "Escape")
    elif how == "close box":
        # The window manager's close, as its title-bar button sends it.
        tool("wmctrl", "-i", "-c", program.window)
    else:
        program.process.send_signal(signal.SIGTERM)
    status = program.wait_for_exit()
    assert status == (-signal.SIGTERM if how == "SIGTERM" else 0)
    program.assert_nothing_left()


def test_a_close_during_an_export_ends_everything_but_the_opened_result(window_manager, tmp_path,
                                                                       wage_table):
    program = Program(tmp_path)
    program.export(wage_table)
    asked = time.time()
    program.click(program.window, CLOSE_BUTTON)
    assert program.wait_for_exit() == 0
    try:
        # The export ran to its end (the close was asked before its result was saved) and its
        # result was handed to the spreadsheet application, which stays open after the
        # program ...
        results = list((program.home / ".cache" / "quenly").iterdir())
        assert [r.name.startswith("wages-工资条-") for r in results] == [True]
        assert results[0].stat().st_mtime >= asked
        deadline = time.monotonic() + 20
        while not program.opened.exists() and time.monotonic() < deadline:
            time.sleep(0.1)
        assert program.opened.read_text().strip() == str(results[0])
        # ... without keeping the program's browser processes alive.
        program.assert_nothing_left()
    finally:
        program.end_application()
