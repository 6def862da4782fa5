"""SendMail and RecvMail against a hostile SMTP/POP3 server on 127.0.0.1:
an EHLO reply longer than the client's buffer, replies split at every byte,
malformed status codes, a connection closed mid-reply, an endless greeting,
over-long POP3 lines, a malformed listing, a message cut off, an endless
listing, and a message with broken MIME boundaries and bad encodings whose
terminator arrives a byte at a time.
Usage: hostile_mail.py QUILL SCRIPT, QUILL as in smtp_roundtrip.py."""
import os
import socket
import subprocess
import sys
import tempfile
import threading


class Peer:
    def __init__(self, conn):
        self.conn, self.pending, self.heard = conn, b"", []

    def line(self):
        while b"\r\n" not in self.pending:
            data = self.conn.recv(4096)
            if not data:
                raise OSError("closed")
            self.pending += data
        line, self.pending = self.pending.split(b"\r\n", 1)
        self.heard.append(line)
        return line

    def until(self, end):
        while end not in self.pending:
            data = self.conn.recv(65536)
            if not data:
                raise OSError("closed")
            self.pending += data
        data, self.pending = self.pending.split(end, 1)
        return data

    def send(self, data, bytewise=False):
        if not bytewise:
            self.conn.sendall(data)
        for i in range(len(data) if bytewise else 0):
            self.conn.sendall(data[i:i + 1])


def smtp(ehlo=b"250 hello\r\n", bytewise=False):
    def play(peer):
        peer.send(b"220 hostile\r\n", bytewise)
        peer.line()
        peer.send(ehlo, bytewise)
        for reply in (b"250 sender\r\n", b"250 rcpt\r\n", b"354 go\r\n"):
            peer.line()
            peer.send(reply, bytewise)
        peer.data = peer.until(b"\r\n.\r\n")
        peer.send(b"250 stored\r\n", bytewise)
        peer.line()
        peer.send(b"221 bye\r\n", bytewise)
    return play


def bad_status(peer):
    peer.send(b"220 hostile\r\n")
    peer.line()
    peer.send(b"2x0 what\r\n")
    peer.line()
    peer.send(b"25 ok\r\n")  # no space in the fourth place: never complete


def closed_mid_reply(peer):
    peer.send(b"220 hostile\r\n")
    peer.line()
    peer.send(b"250-first\r\n")


def endless(peer):
    peer.send(b"220 " + b"x" * (4 << 20))


BROKEN = (b"From: x@example.test\r\nSubject: =?us-ascii?Q?Hi_there?= =?utf-8?B?***?=\r\n"
          b"Content-Type: multipart/mixed; boundary=\"outer\"\r\n\r\npreamble\r\n--outer\r\n"
          b"Content-Type: text/plain\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
          b"..dotted =ZZ te=\r\nxt\r\n--outer\r\n"
          b"Content-Type: application/octet-stream; name=\"bad.bin\"\r\n"
          b"Content-Transfer-Encoding: base64\r\n\r\nQUJD*&^!!RE\r\n--oute\r\n.\r\n")


def pop3(*exchanges, bytewise=False):
    """Greeting, USER, PASS, then each (reply) answering the next command."""
    def play(peer):
        peer.send(b"+OK hostile\r\n", bytewise)
        for reply in (b"+OK\r\n", b"+OK\r\n") + exchanges:
            peer.line()
            if callable(reply):
                reply(peer)
            else:
                peer.send(reply, bytewise)
                if reply.endswith(b"partial"):
                    return
        peer.line()  # until the client hangs up
    return play


def endless_listing(peer):
    peer.send(b"+OK\r\n" + b"".join(b"%d 1\r\n" % i for i in range(1, 1000)))
    block = b"1000 1\r\n" * 8192
    for _ in range(1000):
        peer.send(block)


class HostileMailServer:
    def __init__(self, plays):
        self.plays, self.peers = plays, []

    def __enter__(self):
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()
        return self

    def serve(self):
        for play in self.plays:
            try:
                conn, _ = self.listener.accept()
            except OSError:
                return
            with conn:
                conn.settimeout(10)
                peer = Peer(conn)
                self.peers.append(peer)
                try:
                    play(peer)
                except OSError:
                    pass

    def __exit__(self, *exc):
        self.listener.close()
        self.thread.join(timeout=30)


def main():
    quill, script = sys.argv[1].split("|"), sys.argv[2]
    long_ehlo = b"250-hostile\r\n" + b"".join(b"250-X-EXTENSION-%d-%s\r\n" % (i, b"p" * 40) for i in range(60))
    plays = [smtp(long_ehlo + b"250 SIZE 1000000\r\n"), smtp(bytewise=True), bad_status, closed_mid_reply, endless,
             pop3(b"+OK\r\n" + BROKEN, b"+OK " + b"9" * 5000 + b"\r\n", bytewise=True),
             pop3(b"+OK\r\n1 100\r\n3 20\r\n.\r\n", b"+OK\r\n", b"+OK\r\nSubject: cut\r\n\r\npartial"),
             pop3(b"+OK" + b"y" * 3000 + b"\r\nSubject: x\r\n\r\n.\r\n"),
             pop3(endless_listing),
             lambda peer: (peer.send(b"+OK hostile\r\n"), peer.line(), peer.send(b"-ERR no such user\r\n"))]
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        saved = os.path.join(tmp, "saved.bin")
        with HostileMailServer(plays) as server:
            out = subprocess.run(quill + ["run", script, str(server.port), saved],
                                 capture_output=True, text=True, timeout=240)
        lines = [line for line in out.stdout.replace("\r", "").splitlines() if line]
        expected = ["long ehlo true", "bytewise true", "bad status false", "closed mid-reply false true",
                    "endless greeting false", "connect true",
                    "retr Hi there|.dotted =ZZ text|1 bad.bin true", "oversized true false",
                    "reconnect true", "bad list true true", "cut true false", "reconnect true", "long top true",
                    "reconnect true", "endless list true", "refused false"]
        if lines != expected:
            failures.append(f"{lines!r}\n!=\n{expected!r}\n{out.stderr}")
        for peer in server.peers[:2]:
            if getattr(peer, "data", None) is None or not peer.data.endswith(b"\r\n\r\nhostile\r\n=2Edot"):
                failures.append(f"message stored: {getattr(peer, 'data', None)!r}")
        if [line[:4] for line in server.peers[2].heard] != [b"EHLO", b"HELO"]:
            failures.append(f"after malformed replies the client sent {server.peers[2].heard!r}")
        # Characters outside base64 are skipped; the part that is never closed
        # runs to the end of the message ("--oute" adds its letters).
        if not os.path.exists(saved) or open(saved, "rb").read() != b"ABCDJ.\xb5":
            failures.append(f"the attachment with bad base64 holds {open(saved, 'rb').read() if os.path.exists(saved) else None!r}")
    for f in failures:
        print(f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
