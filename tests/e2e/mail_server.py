"""A local SMTP server for the mail tests (aiosmtpd): one user and password for AUTH, recipients
it refuses, a pause before each message is accepted, and every accepted message kept in memory
and, if asked, written to a folder. The e2e tests use its parts in their own process; the window
tests start it as a program on 127.0.0.1 without encryption:

    python3 mail_server.py --out FOLDER --user USER [--delay SECONDS] [--refuse ADDRESS]...

The password comes from QUENLY_TEST_SMTP_PASSWORD. The program prints "port N" once it listens
and ends when its standard input closes. Message number N is written as the folder N (0001, ...):
"to" (the recipients, one a line), "subject" (decoded), "message.eml", and for each attachment
"attachment-K.pdf" with its file name in "attachment-K.name". A folder appears whole (renamed
into place), after the login results in "logins" (one line per attempt: accepted or denied).
"""
import argparse
import asyncio
import email
import email.policy
import os
import socket
import sys
import logging
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Handler:
    def __init__(self, out=None, delay=0.0):
        self.messages = []       # (recipients, parsed message)
        self.connections = []    # one SMTP instance per connection that said EHLO
        self.refuse = set()        # refused at RCPT TO
        self.refuse_data = set()   # refused after the message was sent (DATA)
        self.stop_after = None
        self.enough = threading.Event()
        self.delay = delay
        self.out = out

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        if not any(s is server for s in self.connections):
            self.connections.append(server)
        return responses

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.refuse:
            return "550 5.1.1 <%s>: Recipient address rejected: User unknown" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if self.refuse_data.intersection(envelope.rcpt_tos):
            return "554 5.7.1 Message rejected by content policy"
        if self.delay:
            await asyncio.sleep(self.delay)
        message = email.message_from_bytes(envelope.content, policy=email.policy.default)
        self.messages.append((list(envelope.rcpt_tos), message))
        if self.out is not None:
            self.write(len(self.messages), envelope, message)
        if self.stop_after is not None and len(self.messages) >= self.stop_after:
            self.enough.set()
        return "250 Message accepted for delivery"

    def write(self, number, envelope, message):
        final = os.path.join(self.out, "%04d" % number)
        partial = os.path.join(self.out, ".%04d.partial" % number)
        os.mkdir(partial)

        def put(name, data):
            with open(os.path.join(partial, name), "wb") as f:
                f.write(data if isinstance(data, bytes) else data.encode("utf-8"))

        put("to", "".join(r + "\n" for r in envelope.rcpt_tos))
        put("subject", str(message["Subject"] or ""))
        put("message.eml", envelope.content)
        for k, part in enumerate(message.iter_attachments(), start=1):
            put("attachment-%d.pdf" % k, part.get_content())
            put("attachment-%d.name" % k, part.get_filename() or "")
        os.rename(partial, final)


def authenticator(user, password, logins=None):
    """Accepts `user` with `password` alone; each attempt's result is appended to `logins`."""
    def check(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword) and auth_data.login == user.encode()
              and auth_data.password == password.encode())
        if logins is not None:
            with open(logins, "a", encoding="utf-8") as f:
                f.write("accepted\n" if ok else "denied\n")
        return AuthResult(success=ok, handled=False)
    return check


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--delay", type=float, default=0.0)
    parser.add_argument("--refuse", action="append", default=[])
    args = parser.parse_args()
    # aiosmtpd logs a warning on every AUTH (its own use of the deprecated login_data).
    logging.getLogger("mail.log").setLevel(logging.ERROR)
    password = os.environ["QUENLY_TEST_SMTP_PASSWORD"]
    handler = Handler(out=args.out, delay=args.delay)
    handler.refuse.update(args.refuse)
    check = authenticator(args.user, password, os.path.join(args.out, "logins"))
    # The port is free when asked but another process may take it before the bind.
    for attempt in range(5):
        port = free_port()
        controller = Controller(handler, hostname="127.0.0.1", port=port, authenticator=check,
                                auth_require_tls=False)
        try:
            controller.start()
            break
        except Exception:
            if attempt == 4:
                raise
    print("port %d" % port, flush=True)
    sys.stdin.read()
    controller.stop()


if __name__ == "__main__":
    main()
