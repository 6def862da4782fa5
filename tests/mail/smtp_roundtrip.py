"""Sends a mail with each authentication mechanism through `quill run` to a
real SMTP server (aiosmtpd on 127.0.0.1, started and stopped here) and checks
what the server stored; then puts the stored message into a throw-away
mailbox of a real POP3 server (dovecot on 127.0.0.1, started and stopped
here) and fetches it back with RecvMail.
Usage: smtp_roundtrip.py QUILL SEND_SCRIPT RECV_SCRIPT, where QUILL may be
an emulator command and the program joined by "|" (quill.exe under Wine)."""
import email
import email.policy
import pwd
import grp
import shutil
import time
import hashlib
import hmac
import os
import socket
import subprocess
import sys
import tempfile

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

USER, PASSWORD = "mailer", "s3cret-pass"


class Store:
    def __init__(self):
        self.messages = []
        self.mechanisms = []

    async def handle_DATA(self, server, session, envelope):
        self.messages.append((envelope.mail_from, list(envelope.rcpt_tos), envelope.original_content))
        return "250 stored"

    async def auth_CRAM__MD5(self, server, args):
        challenge = b"<4711.1@127.0.0.1>"
        answer = await server.challenge_auth(challenge)
        if not isinstance(answer, bytes) or b" " not in answer:
            return AuthResult(success=False)
        user, digest = answer.split(b" ", 1)
        expected = hmac.new(PASSWORD.encode(), challenge, hashlib.md5).hexdigest().encode()
        ok = user == USER.encode() and hmac.compare_digest(digest, expected)
        if ok:
            self.mechanisms.append("CRAM-MD5")
        return AuthResult(success=ok)


def authenticator(store):
    def check(server, session, envelope, mechanism, auth_data):
        ok = isinstance(auth_data, LoginPassword) and auth_data.login == USER.encode() \
            and auth_data.password == PASSWORD.encode()
        if ok:
            store.mechanisms.append(mechanism)
        return AuthResult(success=ok)
    return check


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def run_once(quill, script, attachment, offered):
    store = Store()
    excluded = [m for m in ("LOGIN", "PLAIN", "CRAM-MD5") if m != offered]
    port = free_port()
    controller = Controller(store, hostname="127.0.0.1", port=port, auth_require_tls=False, auth_required=True,
                            authenticator=authenticator(store), auth_exclude_mechanism=excluded)
    controller.start()
    try:
        out = subprocess.run(quill + ["run", script, str(port), attachment, USER, PASSWORD],
                             capture_output=True, text=True, timeout=60)
    finally:
        controller.stop()
    return store, out


DOVECOT_CONF = """
base_dir = {tmp}/run
state_dir = {tmp}/state
log_path = {tmp}/dovecot.log
protocols = pop3
listen = 127.0.0.1
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain
mail_location = maildir:{tmp}/home/%u/Maildir
passdb {{
  driver = passwd-file
  args = scheme=PLAIN username_format=%u {tmp}/passwd
}}
userdb {{
  driver = static
  args = uid={uid} gid={gid} home={tmp}/home/%u
}}
service pop3-login {{
  inet_listener pop3 {{
    address = 127.0.0.1
    port = {port}
  }}
}}
service anvil {{
  chroot =
}}
"""


def fetch_over_pop3(quill, script, raw, data, failures):
    dovecot = shutil.which("dovecot") or "/usr/sbin/dovecot"
    with tempfile.TemporaryDirectory() as tmp:
        os.chmod(tmp, 0o755)
        port = free_port()
        conf = os.path.join(tmp, "dovecot.conf")
        with open(os.path.join(tmp, "passwd"), "w") as f:
            f.write(f"{USER}:{{PLAIN}}{PASSWORD}\n")
        for sub in ("new", "cur", "tmp"):
            os.makedirs(os.path.join(tmp, "home", USER, "Maildir", sub))
        with open(os.path.join(tmp, "home", USER, "Maildir", "new", "1.msg"), "wb") as f:
            f.write(raw.replace(b"\r\n", b"\n"))
        # Mail processes may not run as root: the mailbox belongs to nobody.
        owner = pwd.getpwnam("nobody")
        uid, gid = (owner.pw_uid, owner.pw_gid) if os.getuid() == 0 else (os.getuid(), os.getgid())
        with open(conf, "w") as f:
            f.write(DOVECOT_CONF.format(tmp=tmp, uid=uid, gid=gid, port=port))
        for root, dirs, files in os.walk(os.path.join(tmp, "home")):
            for name in dirs + files + [""]:
                os.chown(os.path.join(root, name), uid, gid)
        server = subprocess.Popen([dovecot, "-F", "-c", conf], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            for _ in range(100):
                try:
                    socket.create_connection(("127.0.0.1", port), timeout=1).close()
                    break
                except OSError:
                    time.sleep(0.1)
            saved = os.path.join(tmp, "saved.bin")
            out = subprocess.run(quill + ["run", script, str(port), USER, PASSWORD, saved],
                                 capture_output=True, text=True, timeout=120)
            lines = [line for line in out.stdout.replace("\r", "").splitlines() if line]
            expected = ["connect true", "noop true true",
                        "stat 1 " + str(len(raw.replace(b"\r\n", b"\n")) + raw.count(b"\n")),
                        "list 1 true", "uidl true true", "top true", "retr [object Mail] true",
                        "subject Greetings", "from sender@example.test|Replies <reply@example.test>|"
                        "First <first@example.test>; second@example.test|copy@example.test|"
                        "Tue, 08 Dec 2026 10:00:00 +0000|1", "text Hello|.a line with a dot|bye",
                        'html <p>Hello <img src="cid:pic1"></p>', "attachments 1 payload.bin application/octet-stream",
                        "items 1 pic1 payload.bin", "saved true true", "missing true", "dele true",
                        "quit true true false"]
            if lines != expected:
                failures.append(f"POP3: {lines!r} != {expected!r}\n{out.stderr}")
            elif open(saved, "rb").read() != data or open(saved + ".item", "rb").read() != data:
                failures.append("POP3: the saved attachment or HTML item differs")
            box = os.path.join(tmp, "home", USER, "Maildir")
            for _ in range(50):  # the server expunges as the session ends
                left = os.listdir(os.path.join(box, "cur")) + os.listdir(os.path.join(box, "new"))
                if not left:
                    break
                time.sleep(0.1)
            if left:
                failures.append(f"POP3: {left} still in the mailbox after dele and quit")
        finally:
            server.terminate()
            server.wait(timeout=30)
            if os.environ.get("MAIL_DEBUG"):
                print(open(os.path.join(tmp, "dovecot.log")).read())


def main():
    quill, script, recv_script = sys.argv[1].split("|"), sys.argv[2], sys.argv[3]
    stored = None
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        attachment = os.path.join(tmp, "payload.bin")
        data = bytes((i * 37 + i // 251) & 0xFF for i in range(200000))
        with open(attachment, "wb") as f:
            f.write(data)
        for mechanism in ("LOGIN", "PLAIN", "CRAM-MD5"):
            store, out = run_once(quill, script, attachment, mechanism)
            def check(cond, what):
                if not cond:
                    failures.append(f"{mechanism}: {what}\n{out.stdout}{out.stderr}")
            check("sent true" in out.stdout and "progress true" in out.stdout, "send did not succeed")
            check("plain true 220 250 true true false" in out.stdout, "the plain connection")
            check(store.mechanisms == [mechanism], f"authenticated with {store.mechanisms}")
            check(len(store.messages) == 1, f"{len(store.messages)} messages stored")
            if not store.messages:
                continue
            sender, recipients, raw = store.messages[0]
            stored = raw
            check(sender == "sender@example.test", f"sender {sender}")
            check(recipients == ["first@example.test", "second@example.test", "copy@example.test",
                                 "hidden@example.test"], f"recipients {recipients}")
            check(b"hidden@example.test" not in raw, "the Bcc line was transmitted")
            message = email.message_from_bytes(raw, policy=email.policy.default)
            check(message["Subject"] == "Greetings", f"subject {message['Subject']!r}")
            body = message.get_body(("plain",))
            text = body.get_content() if body else None
            check(text is not None and text.replace("\r\n", "\n").startswith("Hello\n.a line with a dot\nbye"),
                  f"text {text!r}")
            check(message["Reply-To"] == "Replies <reply@example.test>" and message["X-Priority"] == "1"
                  and message["Date"] == "Tue, 08 Dec 2026 10:00:00 +0000", "Reply-To, X-Priority or Date")
            html = message.get_body(("html",))
            check(html is not None and html.get_content().strip() == '<p>Hello <img src="cid:pic1"></p>', "html")
            items = [p for p in message.walk() if p["Content-ID"] == "<pic1>"]
            check(len(items) == 1 and items[0].get_content() == data, "related item missing or differs")
            parts = [p for p in message.iter_attachments()]
            check(len(parts) == 1 and parts[0].get_filename() == "payload.bin", "attachment missing")
            if parts:
                check(parts[0].get_content() == data, "attachment bytes differ")
        if stored is not None:
            fetch_over_pop3(quill, recv_script, stored, data, failures)
        else:
            failures.append("POP3: nothing to fetch")
    for f in failures:
        print(f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
