#!/usr/bin/python3
"""The Debian package as a clerk gets it: made by CPack from the build tree, installed with apt
(without recommended packages, so its Depends alone must carry it) into a fresh Debian 12 root,
started from its menu entry by an ordinary user under Xvfb, who saves the header settings and
exports; the sending window from its own menu entry; then the batch command, which takes the
settings the window saved.

Needs root (debootstrap, chroot, mounts) and Debian's archive; exits 77 (skipped) without root.
The minimal root that debootstrap makes and the packages apt fetches are kept in a cache
(QUENLY_PACKAGE_TEST_CACHE, else BUILD/package-test/cache), so a second run fetches nothing; each
run installs into a new copy of the minimal root.

Usage: install_test.py BUILD_DIR SOURCE_DIR
"""
import os
import shutil
import signal
import stat
import subprocess
import sys
import time

import openpyxl

MIRROR = os.environ.get("QUENLY_DEBIAN_MIRROR", "http://deb.debian.org/debian")
SECURITY_MIRROR = os.environ.get("QUENLY_DEBIAN_SECURITY_MIRROR",
                                 "http://deb.debian.org/debian-security")
CLERK = "clerk"
# Places of the controls inside the main window and the header options dialog.
PATH_BOX = (320, 30)
EXPORT_BUTTON = (704, 30)
CLOSE_BUTTON = (856, 30)
ROW_END_BOX = (194, 61)
COL_END_BOX = (194, 101)
OK_BUTTON = (149, 161)


def say(text):
    print("-- " + text, flush=True)


def run(*args, **kw):
    kw.setdefault("check", True)
    return subprocess.run(args, **kw)


class Phases:
    def __init__(self):
        self.started = time.monotonic()
        self.last = self.started

    def done(self, what):
        now = time.monotonic()
        say("%s: %.1f s" % (what, now - self.last))
        self.last = now


def make_package(build, work):
    out = os.path.join(work, "deb")
    shutil.rmtree(out, ignore_errors=True)
    run("cpack", "-G", "DEB", "-B", out, "--config", os.path.join(build, "CPackConfig.cmake"),
        stdout=subprocess.DEVNULL)
    debs = [f for f in os.listdir(out) if f.endswith(".deb")]
    assert len(debs) == 1, debs
    return os.path.join(out, debs[0])


def check_package(deb):
    """What the package holds: the launchers, the programs in their own folder, the menu entry,
    the icon at every size, the metainfo; nothing writable by others, no sys.ini."""
    listing = run("dpkg-deb", "-c", deb, capture_output=True, text=True).stdout.splitlines()
    paths = {}
    for line in listing:
        fields = line.split()
        paths[fields[5].lstrip(".")] = fields[0]
    programs = ("quenly", "quenly-batch", "quenly-send")
    for path in ["/usr/bin/" + p for p in programs] + [
            "/usr/libexec/quenly/" + p for p in programs] + [
            "/usr/share/applications/quenly.desktop",
            "/usr/share/applications/quenly-send.desktop",
            "/usr/share/metainfo/quenly.metainfo.xml"] + [
            "/usr/share/icons/hicolor/%dx%d/apps/%s.png" % (s, s, icon)
            for s in (16, 22, 24, 32, 48, 64, 128, 256) for icon in ("quenly", "quenly-send")]:
        assert path in paths, "the package lacks %s" % path
    for path, mode in paths.items():
        assert mode[8] != "w", "%s is writable by everyone (%s)" % (path, mode)
        assert not path.endswith(("sys.ini", "send.ini")), path
    # The sending window's libraries are found by their links; the keyring it keeps the
    # password in is opened at run time, so it is recommended by name.
    fields = run("dpkg-deb", "-f", deb, "Depends", "Recommends", capture_output=True,
                 text=True).stdout
    depends = fields.split("\nRecommends:")[0]
    recommends = fields.split("\nRecommends:")[1]
    for library in ("libqt6pdf6", "libqt6keychain1"):
        assert library in depends, fields
    for keyring in ("libsecret-1-0", "gnome-keyring"):
        assert keyring in recommends, fields


def minimal_root(cache):
    """The tar of a minimal Debian 12 root, made by debootstrap the first time."""
    tar = os.path.join(cache, "bookworm-minbase.tar")
    if os.path.exists(tar):
        return tar
    made = os.path.join(cache, "debootstrap")
    shutil.rmtree(made, ignore_errors=True)
    say("debootstrap --variant=minbase bookworm from %s" % MIRROR)
    run("debootstrap", "--variant=minbase", "bookworm", made, MIRROR, stdout=subprocess.DEVNULL)
    run("chroot", made, "apt-get", "clean")
    run("tar", "-C", made, "-cf", tar + ".part", ".")
    os.rename(tar + ".part", tar)
    shutil.rmtree(made)
    return tar


def fresh_root(tar, work):
    root = os.path.join(work, "root")
    if os.path.exists(root):
        run("rm", "-rf", "--one-file-system", root)
    os.makedirs(root)
    run("tar", "-C", root, "-xf", tar)
    with open(os.path.join(root, "etc/apt/sources.list"), "w") as f:
        f.write("deb %s bookworm main\n" % MIRROR)
        f.write("deb %s bookworm-updates main\n" % MIRROR)
        f.write("deb %s bookworm-security main\n" % SECURITY_MIRROR)
    shutil.copy("/etc/resolv.conf", os.path.join(root, "etc/resolv.conf"))
    return root


# Mounts what programs in the root need, in a mount namespace of their own: they go when the
# namespace's last process ends. Then runs the rest of the arguments.
MOUNTS = r"""
set -e
root=$1; archives=$2; shift 2
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount --rbind /sys "$root/sys"
mkdir -p "$root/tmp/.X11-unix"
mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
mount --bind "$archives" "$root/var/cache/apt/archives"
"$@"
"""


def in_root(root, archives, *command, **kw):
    """Runs `command` in a new mount and process namespace with the root's mounts; every
    process left in the namespace ends with it."""
    return ["unshare", "--mount", "--pid", "--fork", "--kill-child", "sh", "-c", MOUNTS, "sh",
            root, archives] + list(command)


def as_clerk(root, *command, display=None):
    env = ["HOME=/home/" + CLERK, "USER=" + CLERK, "LOGNAME=" + CLERK, "LANG=C.UTF-8",
           "PATH=/usr/local/bin:/usr/bin:/bin"]
    if display:
        env.append("DISPLAY=" + display)
    return ["chroot", "--userspec=%s:%s" % (CLERK, CLERK), root, "env", "-i"] + env + [
        "sh", "-c", 'cd && exec "$@"', "sh"] + list(command)


def processes_in(root):
    """The processes whose root folder is `root`."""
    found = []
    real = os.path.realpath(root)
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                if os.readlink("/proc/%s/root" % entry) == real:
                    with open("/proc/%s/comm" % entry) as f:
                        found.append((int(entry), f.read().strip()))
            except OSError:
                pass
    return found


class Display:
    """Xvfb on this machine; the root reaches it through its socket."""

    def __init__(self):
        read, write = os.pipe()
        self.server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
            pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as f:
            self.name = ":" + f.readline().strip()
        self.env = dict(os.environ, DISPLAY=self.name)

    def xdotool(self, *args, check=True):
        return subprocess.run(["xdotool"] + list(args), env=self.env, capture_output=True,
                              text=True, timeout=60, check=check)

    def wait_window(self, title, timeout=120):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = self.xdotool("search", "--onlyvisible", "--name", title,
                                 check=False).stdout.split()
            if found:
                return found[-1]
            time.sleep(0.2)
        raise AssertionError("no window %r appeared" % title)

    def click(self, window, spot):
        self.xdotool("mousemove", "--window", window, str(spot[0]), str(spot[1]), "click", "1")

    def press(self, window, key):
        self.xdotool("windowfocus", "--sync", window, check=False)
        self.xdotool("key", "--clearmodifiers", key)

    def close(self):
        self.server.terminate()
        self.server.wait(timeout=30)


def menu_session(root, archives, display, entry):
    """Starts the menu entry `entry` as the clerk's desktop does, in a session that lasts until
    end_session()."""
    return subprocess.Popen(in_root(
        root, archives, "sh", "-c",
        '%s; while [ ! -e "$0/tmp/%s-done" ]; do sleep 0.2; done' % (" ".join(
            "'%s'" % a for a in as_clerk(root, "gio", "launch",
                                         "/usr/share/applications/%s.desktop" % entry,
                                         display=display.name)), entry), root),
        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)


def end_session(root, session, entry):
    open(os.path.join(root, "tmp", entry + "-done"), "w").close()
    if session:
        try:
            out, _ = session.communicate(timeout=60)
        except subprocess.TimeoutExpired:
            session.send_signal(signal.SIGKILL)
            out, _ = session.communicate()
        if session.returncode != 0:
            print(out)


def check_class(display, window, name):
    """The window's class is the one its menu entry's StartupWMClass names."""
    wm_class = subprocess.run(["xprop", "-id", window, "WM_CLASS"], env=display.env,
                              capture_output=True, text=True).stdout
    assert '"%s"' % name in wm_class, wm_class


def source_persons(book_path):
    sheet = openpyxl.load_workbook(book_path, data_only=True).worksheets[0]
    persons = []
    row = 3
    while sheet.cell(row=row, column=1).value not in (None, ""):
        persons.append([sheet.cell(row=row, column=c).value for c in range(1, 11)])
        row += 1
    header = [[sheet.cell(row=r, column=c).value for c in range(1, 11)] for r in (1, 2)]
    return header, persons


def check_result(path, header, persons):
    sheet = openpyxl.load_workbook(path, data_only=True).worksheets[0]
    for k, person in enumerate(persons):
        top = 1 + 4 * k
        for r in range(2):
            assert [sheet.cell(row=top + r, column=c).value for c in range(1, 11)] == header[r]
        assert [sheet.cell(row=top + 2, column=c).value for c in range(1, 11)] == person
        assert all(sheet.cell(row=top + 3, column=c).value is None for c in range(1, 11))


def read_ini(path):
    with open(path, encoding="utf-8") as f:
        return dict(line.strip().split("=", 1) for line in f if "=" in line)


def main(build, source):
    if os.geteuid() != 0:
        print("skipped: installing into a Debian root needs root (debootstrap, chroot, mounts)")
        return 77
    for tool in ("cpack", "dpkg-deb", "debootstrap", "unshare", "chroot", "Xvfb", "xdotool",
                 "xprop"):
        assert shutil.which(tool), "%s is not installed (scripts/setup.sh installs it)" % tool
    phases = Phases()
    work = os.path.join(build, "package-test")
    cache = os.environ.get("QUENLY_PACKAGE_TEST_CACHE", os.path.join(work, "cache"))
    archives = os.path.join(cache, "archives")
    os.makedirs(os.path.join(archives, "partial"), exist_ok=True)

    deb = make_package(build, work)
    check_package(deb)
    phases.done("package made by CPack and its contents checked")

    tar = minimal_root(cache)
    phases.done("minimal Debian 12 root (debootstrap, or the cached copy)")
    root = fresh_root(tar, work)
    shutil.copy(deb, os.path.join(root, "tmp", "quenly.deb"))
    example = os.path.join(source, "examples", "工资表示例.xlsx")
    run(*in_root(root, archives, "chroot", root, "sh", "-c",
                 "apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "
                 "--no-install-recommends /tmp/quenly.deb libglib2.0-bin >/tmp/apt.log 2>&1 "
                 "|| { tail -30 /tmp/apt.log; exit 1; }; "
                 "useradd --create-home --shell /bin/sh " + CLERK))
    clerk_home = os.path.join(root, "home", CLERK)
    shutil.copy(example, os.path.join(clerk_home, "wages.xlsx"))
    uid = os.stat(clerk_home).st_uid
    os.chown(os.path.join(clerk_home, "wages.xlsx"), uid, uid)
    phases.done("apt installed the package and its dependencies, user %s made" % CLERK)

    display = Display()
    try:
        session = None
        try:
            # The clerk starts the program from its menu entry, as the desktop does.
            session = menu_session(root, archives, display, "quenly")
            window = display.wait_window("^Quenly$")
            check_class(display, window, "quenly")
            phases.done("the window came up from the menu entry")

            display.click(window, PATH_BOX)
            display.xdotool("type", "--delay", "5", "/home/%s/wages.xlsx" % CLERK)
            display.click(window, EXPORT_BUTTON)
            dialog = display.wait_window("表头选项", timeout=30)
            time.sleep(0.5)
            # First use: the dialog shows 1, 1, A and an empty last column; the table has two
            # header rows over A to J.
            display.click(dialog, ROW_END_BOX)
            display.xdotool("key", "ctrl+a")
            display.xdotool("type", "2")
            display.click(dialog, COL_END_BOX)
            display.xdotool("type", "j")
            deadline = time.monotonic() + 60
            while dialog in display.xdotool("search", "--onlyvisible", "--name", "表头选项",
                                            check=False).stdout.split():
                # A click that comes before the dialog takes input is lost: click again.
                assert time.monotonic() < deadline, "the header options dialog stayed open"
                display.click(dialog, OK_BUTTON)
                time.sleep(0.5)
            # No spreadsheet application is installed: the window says where the result is.
            box = display.wait_window("信息提示", timeout=120)
            time.sleep(0.5)
            display.press(box, "Escape")
            deadline = time.monotonic() + 30
            while display.xdotool("search", "--onlyvisible", "--name", "信息提示",
                                  check=False).stdout.split():
                assert time.monotonic() < deadline, "the message did not close"
                time.sleep(0.2)
            display.click(window, CLOSE_BUTTON)
            deadline = time.monotonic() + 60
            while any(name != "sh" and name != "sleep" for _, name in processes_in(root)):
                assert time.monotonic() < deadline, "left running: %s" % processes_in(root)
                time.sleep(0.2)
            phases.done("settings saved, export done, window closed; no process of it left")
        finally:
            end_session(root, session, "quenly")

        session = None
        try:
            # The sending window from its own menu entry: it runs the clerk's own copy, beside
            # the header settings the main window saved, and stays up (no keyring runs here: it
            # asks for the password instead).
            session = menu_session(root, archives, display, "quenly-send")
            window = display.wait_window("^发送工资条$")
            check_class(display, window, "quenly-send")
            time.sleep(3)
            running = [pid for pid, name in processes_in(root) if name == "quenly-send"]
            assert len(running) == 1, processes_in(root)
            assert os.readlink("/proc/%d/exe" % running[0]) == os.path.realpath(
                os.path.join(clerk_home, ".local", "lib", "quenly", "quenly-send"))
            os.kill(running[0], signal.SIGTERM)
            phases.done("the sending window came up from its menu entry")
        finally:
            end_session(root, session, "quenly-send")
    finally:
        display.close()

    # The settings are the clerk's own, beside the clerk's copy of the program; the installed
    # program's folder holds none.
    own = os.path.join(clerk_home, ".local", "lib", "quenly")
    ini = os.path.join(own, "sys.ini")
    assert read_ini(ini) == {"StartTitleRow": "1", "EndTitleRow": "2", "StartTitleCol": "A",
                             "EndTitleCol": "J"}, read_ini(ini)
    for path in (own, ini, os.path.join(own, "quenly")):
        st = os.lstat(path)
        assert st.st_uid == uid, path
        assert not st.st_mode & stat.S_IWOTH, path
    assert not os.path.exists(os.path.join(root, "usr", "libexec", "quenly", "sys.ini"))
    with open(os.path.join(root, "var", "lib", "dpkg", "info", "quenly.list")) as f:
        for installed in f.read().split():
            st = os.lstat(root + installed)
            assert not st.st_mode & stat.S_IWOTH, "%s is writable by everyone" % installed

    # The result is private and holds the slips.
    cache_dir = os.path.join(clerk_home, ".cache", "quenly")
    assert stat.S_IMODE(os.stat(cache_dir).st_mode) == 0o700
    results = os.listdir(cache_dir)
    assert len(results) == 1 and results[0].startswith("wages-工资条-"), results
    result = os.path.join(cache_dir, results[0])
    assert stat.S_IMODE(os.stat(result).st_mode) == 0o600
    assert os.stat(result).st_uid == uid
    header, persons = source_persons(example)
    assert persons
    check_result(result, header, persons)

    # The batch command takes the settings the window saved.
    done = subprocess.run(in_root(root, archives, *as_clerk(root, "quenly-batch", "wages.xlsx",
                                                           "slips.xlsx")),
                          capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, done.stdout + done.stderr
    check_result(os.path.join(clerk_home, "slips.xlsx"), header, persons)
    phases.done("results checked; quenly-batch ran with the saved settings")

    run("rm", "-rf", "--one-file-system", root)
    say("%d persons; whole test %.1f s" % (len(persons), time.monotonic() - phases.started))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
