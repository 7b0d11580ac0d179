"""quenly-batch --mail against a real SMTP server (aiosmtpd) on 127.0.0.1 with STARTTLS, a
certificate made here by openssl, and AUTH: each person gets their own slip once, and the faults
(a refused recipient, a server gone half way, a wrong password, a certificate for another host,
bad addresses) end as they should."""
import os
import pty
import subprocess
import ssl
import time

import pytest
from aiosmtpd.controller import Controller

from conftest import private_batch
from mail_server import Handler, authenticator, free_port
from make_mail_table import PEOPLE, shown_pay, write_table

USER = "payroll@example.com"
PASSWORD = "s3cret-Pa55"
SUBJECT = "{姓名}的2026年11月工资条"
BODY = "{姓名}您好：\n附件是您（{部门}）本月的工资条，实发 {实发工资} 元。\n{{请勿转发}}\n"


def openssl(*args, cwd):
    subprocess.run(["openssl", *args], cwd=cwd, check=True, capture_output=True)


@pytest.fixture(scope="module")
def certs(tmp_path_factory):
    """A CA, a server certificate for 127.0.0.1 and one for another host, both signed by it."""
    d = tmp_path_factory.mktemp("certs")
    openssl("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
            "-nodes", "-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
            "-subj", "/CN=Quenly Test CA", cwd=d)
    for name, san in (("server", "IP:127.0.0.1,DNS:localhost"), ("other", "DNS:mail.example.org")):
        openssl("req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                "-keyout", name + ".key", "-out", name + ".csr", "-subj", "/CN=" + name, cwd=d)
        (d / (name + ".ext")).write_text("subjectAltName=" + san + "\n")
        openssl("x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                "-CAcreateserial", "-out", name + ".pem", "-days", "2",
                "-extfile", name + ".ext", cwd=d)
    return d


class MailServer:
    def __init__(self, certs, cert="server", port=None):
        self.handler = Handler()
        self.port = port or free_port()
        self.certs, self.cert = certs, cert
        self.controller = None

    def start(self):
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(str(self.certs / (self.cert + ".pem")),
                                str(self.certs / (self.cert + ".key")))
        self.controller = Controller(self.handler, hostname="127.0.0.1", port=self.port,
                                     tls_context=context, require_starttls=True,
                                     authenticator=authenticator(USER, PASSWORD),
                                     auth_require_tls=True)
        self.controller.start()
        return self

    def stop(self):
        """Stops as a server process that ends would: its connections are closed at once."""
        if self.controller is not None:
            for smtp in self.handler.connections:
                if smtp.transport is not None:
                    self.controller.loop.call_soon_threadsafe(smtp.transport.abort)
            self.controller.stop()
            self.controller = None


@pytest.fixture
def server(certs):
    s = MailServer(certs).start()
    yield s
    s.stop()


class Job:
    """A table, its mail settings and a private quenly-batch in a folder of the test's own."""

    def __init__(self, batch, tmp_path, port, certs, people=PEOPLE, subject=SUBJECT):
        self.dir = tmp_path
        self.cafile = certs / "ca.pem"
        self.batch = private_batch(batch, str(tmp_path))
        self.table = tmp_path / "工资表.xlsx"
        write_table(self.table, people)
        (tmp_path / "mail").mkdir()
        (tmp_path / "mail" / "正文.txt").write_text(BODY, encoding="utf-8")
        self.settings = tmp_path / "mail" / "邮件设置.ini"
        self.settings.write_text(
            "[smtp]\nhost = 127.0.0.1\nport = %d\nsecurity = starttls\nuser = %s\n"
            "[mail]\nfrom = %s\nfrom_name = 财务部\nsubject = %s\nbody_file = 正文.txt\n"
            % (port, USER, USER, subject), encoding="utf-8")
        self.env = dict(os.environ, QUENLY_SMTP_PASSWORD=PASSWORD,
                        XDG_STATE_HOME=str(tmp_path / "state"), HOME=str(tmp_path / "home"))

    def args(self, *extra, cafile=True):
        """The command line; with `cafile`, the test's authority is trusted (--cafile)."""
        args = [self.batch, str(self.table), "--mail", str(self.settings), "--to-col", "邮箱",
                "--name-col", "姓名", "--rows", "1-2", "--cols", "A-H"]
        if cafile:
            args += ["--cafile", str(self.cafile)]
        return args + list(extra)

    def run(self, *extra, password=PASSWORD, cafile=True):
        env = dict(self.env, QUENLY_SMTP_PASSWORD=password)
        return subprocess.run(self.args(*extra, cafile=cafile), capture_output=True, text=True,
                              env=env, timeout=120, stdin=subprocess.DEVNULL)

    def journal_lines(self):
        folder = self.dir / "state" / "quenly"
        lines = []
        for name in sorted(os.listdir(folder)) if folder.exists() else []:
            lines += [l for l in (folder / name).read_text().splitlines() if l.startswith("sent\t")]
        return lines


def pdf_text(pdf_bytes, tmp_path, password=None):
    path = tmp_path / "attachment.pdf"
    path.write_bytes(pdf_bytes)
    args = ["pdftotext", "-layout"] + (["-upw", password] if password else []) + [str(path), "-"]
    return subprocess.run(args, capture_output=True, text=True)


def assert_no_amount(text):
    for person in PEOPLE:
        assert shown_pay(person) not in text
        assert "{:,.2f}".format(person[5]) not in text


def files_under(*folders):
    for folder in folders:
        for root, _, names in os.walk(folder):
            for name in names:
                yield os.path.join(root, name)


def test_each_person_gets_their_own_locked_slip_once(batch, server, certs, tmp_path):
    job = Job(batch, tmp_path, server.port, certs)
    done = job.run("--password-col", "身份证号", "--password-last", "6")
    assert done.returncode == 0, done.stderr
    # The checks' table, then one progress line per person; never an amount.
    assert "加密" in done.stdout and "通过" in done.stdout
    for number, person in enumerate(PEOPLE, start=1):
        assert "[%d/4] 第 %d 行 %s <%s> 已发送" % (number, number + 2, person[1], person[3]) \
            in done.stdout
    assert_no_amount(done.stdout + done.stderr)

    got = server.handler.messages
    assert sorted(r[0] for r, _ in got) == sorted(p[3] for p in PEOPLE)
    assert len(server.handler.connections) == 1, "one connection for all mails"
    ids = set()
    for (recipients, message), person in zip(got, PEOPLE):
        assert recipients == [person[3]]
        assert message["Subject"] == person[1] + "的2026年11月工资条"
        assert message["From"].addresses[0].display_name == "财务部"
        ids.add(message["Message-ID"])
        assert message["Message-ID"].endswith("@example.com>")
        # Text travels in its canonical form, CR LF line ends.
        body = message.get_body(("plain",)).get_content().replace("\r\n", "\n")
        assert body == "%s您好：\n附件是您（%s）本月的工资条，实发 %s 元。\n{请勿转发}\n" % (
            person[1], person[2], shown_pay(person))
        attachments = list(message.iter_attachments())
        assert len(attachments) == 1
        assert attachments[0].get_content_type() == "application/pdf"
        assert attachments[0].get_filename() == person[1] + ".pdf"
        pdf = attachments[0].get_content()
        assert pdf.startswith(b"%PDF")
        # Locked with the last six characters of the ID number; refused without them.
        assert pdf_text(pdf, tmp_path).returncode != 0
        assert pdf_text(pdf, tmp_path, "wrong1").returncode != 0
        text = pdf_text(pdf, tmp_path, person[4][-6:])
        assert text.returncode == 0, text.stderr
        assert person[1] in text.stdout and person[0] in text.stdout
        assert shown_pay(person) in text.stdout
        for other in PEOPLE:
            if other is not person:
                assert other[1] not in text.stdout and other[3] not in text.stdout
    assert len(ids) == 4

    # The journal: one line per person, no amount, private.
    lines = job.journal_lines()
    assert [l.split("\t")[1] for l in lines] == [p[3] for p in PEOPLE]
    assert_no_amount("\n".join(lines))
    folder = tmp_path / "state" / "quenly"
    assert os.stat(folder).st_mode & 0o777 == 0o700
    for name in os.listdir(folder):
        assert os.stat(folder / name).st_mode & 0o777 == 0o600

    # A dry run says what the journal changes, and changes nothing.
    dry = job.run("--dry-run", "--resume")
    assert dry.returncode == 0, dry.stderr
    assert "其中 4 人此前已发送，将跳过" in dry.stdout and "发出 0 封邮件" in dry.stdout
    # Again without --resume: refused, and says how to go on.
    again = job.run()
    assert again.returncode == 1
    assert "--resume" in again.stderr and "--new-run" in again.stderr
    # With --resume: everybody is recorded, nobody gets a second mail.
    resumed = job.run("--resume")
    assert resumed.returncode == 0, resumed.stderr
    assert resumed.stdout.count("此前已发送，跳过") == 4
    assert len(got) == 4
    # Next month's table under the same name: a new journal, the old one kept.
    new_run = job.run("--new-run")
    assert new_run.returncode == 0, new_run.stderr
    assert "旧的发送记录已改名保存" in new_run.stdout
    assert len(got) == 8
    assert len(os.listdir(folder)) == 2

    # The password was never written anywhere.
    for path in files_under(tmp_path, job.env["HOME"]):
        with open(path, "rb") as f:
            assert PASSWORD.encode() not in f.read(), path


def test_password_typed_on_the_terminal_is_not_echoed(batch, server, certs, tmp_path):
    job = Job(batch, tmp_path, server.port, certs)
    env = dict(job.env)
    del env["QUENLY_SMTP_PASSWORD"]
    pid, fd = pty.fork()
    if pid == 0:
        os.execve(job.batch, job.args(), env)
    seen = b""
    deadline = time.time() + 60
    while "密码".encode() not in seen and time.time() < deadline:
        seen += os.read(fd, 4096)
    os.write(fd, PASSWORD.encode() + b"\n")
    try:
        while True:
            chunk = os.read(fd, 4096)
            if not chunk:
                break
            seen += chunk
    except OSError:  # the terminal closes when the program ends
        pass
    _, status = os.waitpid(pid, 0)
    assert os.waitstatus_to_exitcode(status) == 0, seen.decode(errors="replace")
    assert PASSWORD.encode() not in seen
    assert len(server.handler.messages) == 4


@pytest.mark.parametrize("stage,code", [("RCPT", "550"), ("DATA", "554")])
def test_refused_recipient_is_reported_and_the_others_go_on(batch, server, certs, tmp_path,
                                                            stage, code):
    # A refusal of the message itself (after DATA) must not leave the connection out of step
    # for the persons after it.
    refused = server.handler.refuse if stage == "RCPT" else server.handler.refuse_data
    refused.add("li.si@example.com")
    job = Job(batch, tmp_path, server.port, certs)
    done = job.run()
    assert done.returncode == 1
    assert "第 4 行 李四 <li.si@example.com> 被拒绝：邮件服务器拒绝（%s）" % code in done.stdout
    assert "李四" in done.stderr and code in done.stderr
    delivered = sorted(r[0] for r, _ in server.handler.messages)
    assert delivered == sorted(p[3] for p in PEOPLE if p[1] != "李四")
    # The refused person is not recorded, so a corrected run reaches them alone.
    refused.clear()
    resumed = job.run("--resume")
    assert resumed.returncode == 0, resumed.stderr
    assert [r[0] for r, _ in server.handler.messages[3:]] == ["li.si@example.com"]


def test_server_gone_half_way_then_resume_sends_the_rest_once(batch, certs, tmp_path):
    first = MailServer(certs).start()
    first.handler.stop_after = 2
    job = Job(batch, tmp_path, first.port, certs)
    process = subprocess.Popen(job.args("--interval", "1"), env=job.env, text=True,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               stdin=subprocess.DEVNULL)
    assert first.handler.enough.wait(60)
    first.stop()
    out, err = process.communicate(timeout=120)
    assert process.returncode == 1, err
    assert "第 2 次尝试" in out and "第 4 次尝试" in out
    assert "发送中止" in err
    assert "王五" in err and "赵六" in err
    assert "张三" not in err and "李四" not in err
    assert len(job.journal_lines()) == 2

    second = MailServer(certs, port=first.port).start()
    try:
        resumed = subprocess.run(job.args("--resume"), env=job.env, capture_output=True,
                                 text=True, timeout=120, stdin=subprocess.DEVNULL)
        assert resumed.returncode == 0, resumed.stderr
        delivered = [r[0] for r, _ in first.handler.messages + second.handler.messages]
        assert sorted(delivered) == sorted(p[3] for p in PEOPLE)
    finally:
        second.stop()


def test_wrong_password_sends_nothing(batch, server, certs, tmp_path):
    job = Job(batch, tmp_path, server.port, certs)
    done = job.run(password="not-it")
    assert done.returncode == 1
    assert "拒绝了登录" in done.stderr and "用户名或密码不对" in done.stderr
    assert server.handler.messages == []
    assert job.journal_lines() == []


def test_certificate_for_another_host_is_refused(batch, certs, tmp_path):
    other = MailServer(certs, cert="other").start()
    try:
        job = Job(batch, tmp_path, other.port, certs)
        done = job.run()
        assert done.returncode == 1
        assert "证书未通过验证" in done.stderr
        assert other.handler.messages == []
    finally:
        other.stop()


def test_an_authority_not_given_is_not_trusted(batch, server, certs, tmp_path):
    job = Job(batch, tmp_path, server.port, certs)
    done = job.run(cafile=False)
    assert done.returncode == 1
    assert "--cafile" in done.stderr
    assert server.handler.messages == []


def test_dry_run_prints_the_checks_and_sends_nothing(batch, server, certs, tmp_path):
    job = Job(batch, tmp_path, server.port, certs)
    done = job.run("--dry-run", "--password-col", "身份证号")
    assert done.returncode == 0, done.stderr
    for person in PEOPLE:
        assert person[3] in done.stdout and person[1] + ".pdf" in done.stdout
    assert "没有发送任何邮件" in done.stdout
    assert_no_amount(done.stdout)
    assert server.handler.connections == [] and server.handler.messages == []
    assert not (tmp_path / "state").exists()


def test_bad_addresses_stop_everything_and_name_their_rows(batch, server, certs, tmp_path):
    people = list(PEOPLE)
    people[1] = people[1][:3] + ("zhang.san@example.com",) + people[1][4:]  # row 4 = row 3's
    people[3] = people[3][:3] + ("zhao.liu example.com",) + people[3][4:]   # row 6 malformed
    job = Job(batch, tmp_path, server.port, certs, people=people)
    done = job.run()
    assert done.returncode == 1
    assert "第 3 行 张三 <zhang.san@example.com>：邮箱地址与第 4 行相同" in done.stderr
    assert "第 4 行 李四 <zhang.san@example.com>：邮箱地址与第 3 行相同" in done.stderr
    assert "第 6 行 赵六 <zhao.liu example.com>" in done.stderr
    assert server.handler.connections == []

    # Leaving them out sends to the one person left, and says so.
    skipped = job.run("--skip-invalid")
    assert skipped.returncode == 1
    assert "只发给其余 1 人" in skipped.stdout
    assert [r[0] for r, _ in server.handler.messages] == ["wang.wu@example.com"]


def test_one_address_shared_by_everybody_names_a_few_rows_each(batch, server, certs, tmp_path):
    people = [p[:3] + ("hr@example.com",) + p[4:] for p in PEOPLE + PEOPLE]
    job = Job(batch, tmp_path, server.port, certs, people=people)
    done = job.run("--dry-run")
    assert done.returncode == 1
    lines = [l for l in done.stderr.splitlines() if "相同" in l]
    assert len(lines) == 8
    assert lines[0].endswith("邮箱地址与第 4 行、第 5 行、第 6 行等共 7 行相同"), lines[0]


def test_unknown_placeholder_is_refused_before_sending(batch, server, certs, tmp_path):
    job = Job(batch, tmp_path, server.port, certs, subject="{姓名}的{奖金}")
    done = job.run()
    assert done.returncode == 1
    assert "占位符“{奖金}”" in done.stderr and "工号、姓名、部门" in done.stderr
    assert server.handler.connections == []
