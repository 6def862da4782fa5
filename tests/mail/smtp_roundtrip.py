"""Sends a mail with each authentication mechanism through `quill run` to a
real SMTP server (aiosmtpd on 127.0.0.1, started and stopped here) and checks
what the server stored. Usage: smtp_roundtrip.py QUILL SCRIPT"""
import email
import email.policy
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
        out = subprocess.run([quill, "run", script, str(port), attachment, USER, PASSWORD],
                             capture_output=True, text=True, timeout=60)
    finally:
        controller.stop()
    return store, out


def main():
    quill, script = sys.argv[1], sys.argv[2]
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
            check(store.mechanisms == [mechanism], f"authenticated with {store.mechanisms}")
            check(len(store.messages) == 1, f"{len(store.messages)} messages stored")
            if not store.messages:
                continue
            sender, recipients, raw = store.messages[0]
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
            parts = [p for p in message.iter_attachments()]
            check(len(parts) == 1 and parts[0].get_filename() == "payload.bin", "attachment missing")
            if parts:
                check(parts[0].get_content() == data, "attachment bytes differ")
    for f in failures:
        print(f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
