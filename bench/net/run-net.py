#!/usr/bin/python3
"""Network benchmarks under Wine on loopback, one run side by side:
HTTP download of a 100 MB file by Inet.getUrl against curl from the same
server (Python's http.server), Socket echo round trips per second
through a line server against a blocking Python client, and sending a
message with a 10 MB attachment by SendMail against Python's smtplib to the
same SMTP server (aiosmtpd).
    bench/net/run-net.py [win64|win32] [path/to/quill.exe]
Prints one table."""
import os
import socket
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.dirname(os.path.dirname(here))
sys.path.insert(0, os.path.join(root, "tests", "net"))
from net_servers import HttpServer, LineServer, run_script  # noqa: E402


def smtp_row(command):
    """One message with a 10 MB attachment, SendMail against smtplib; both
    timed from the connection to the server's acceptance of the data."""
    import smtplib
    from email.message import EmailMessage
    from aiosmtpd.controller import Controller

    class Sink:
        def __init__(self):
            self.sizes = []

        async def handle_DATA(self, server, session, envelope):
            self.sizes.append(len(envelope.original_content))
            return "250 stored"

    size = 10 * 1024 * 1024
    with tempfile.TemporaryDirectory() as tmp:
        attachment = os.path.join(tmp, "attachment.bin")
        payload = os.urandom(size)
        with open(attachment, "wb") as f:
            f.write(payload)
        sink = Sink()
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        controller = Controller(sink, hostname="127.0.0.1", port=port, data_size_limit=64 << 20)
        controller.start()
        try:
            lines, out = run_script(command, os.path.join(here, "smtp_send.qls"), port, attachment, timeout=900)
            message = EmailMessage()
            message["From"], message["To"], message["Subject"] = "bench@example.test", "sink@example.test", "attachment"
            message.set_content("see attached")
            message.add_attachment(payload, maintype="application", subtype="octet-stream", filename="attachment.bin")
            raw = message.as_bytes(policy=message.policy.clone(linesep="\r\n"))
            start = time.monotonic()
            with smtplib.SMTP("127.0.0.1", port) as client:
                client.sendmail("bench@example.test", ["sink@example.test"], raw)
            peer_s = time.monotonic() - start
        finally:
            controller.stop()
    if not lines or not lines[-1].startswith("send true") or len(sink.sizes) != 2 or sink.sizes[0] < size:
        print("SendMail failed:", lines, sink.sizes, out.stderr[-500:])
        return None
    ms = max(1, int(lines[-1].split()[2]))
    return ("SMTP 10 MB attachment, s", f"{ms / 1000:.2f}", f"smtplib {peer_s:.2f}")


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else "win64"
    quill = sys.argv[2] if len(sys.argv) > 2 else os.path.join(root, "build", target, "tools", "quill", "quill.exe")
    command = [os.path.join(root, "scripts", "wine-run"), target, quill]
    size = 100 * 1024 * 1024
    rows = []
    with tempfile.TemporaryDirectory() as tmp:
        served = os.path.join(tmp, "served")
        os.mkdir(served)
        with open(os.path.join(served, "big.bin"), "wb") as f:
            block = os.urandom(1 << 20)
            for _ in range(size >> 20):
                f.write(block)
        with HttpServer(served) as http:
            url = f"http://127.0.0.1:{http.port}/big.bin"
            start = time.monotonic()
            subprocess.run(["curl", "-s", "-o", os.path.join(tmp, "curl.bin"), url], check=True)
            curl_s = time.monotonic() - start
            lines, out = run_script(command, os.path.join(here, "http_download.qls"), url,
                                    os.path.join(tmp, "quill.bin"), timeout=900)
        ms = int(lines[-1].split()[2]) if lines and lines[-1].startswith("download true") else None
        if ms is None or os.path.getsize(os.path.join(tmp, "quill.bin")) != size:
            print("getUrl failed:", lines, out.stderr[-500:])
            return 1
        rows.append(("HTTP 100 MB, MB/s", f"{size / 1e6 / (ms / 1000):.1f}", f"curl {size / 1e6 / curl_s:.1f}"))
    rounds = 5000
    with LineServer() as server:
        lines, out = run_script(command, os.path.join(here, "socket_echo.qls"), server.port, rounds, timeout=900)
        # The peer: a blocking Python client, the same round trips.
        with socket.create_connection(("127.0.0.1", server.port)) as peer:
            start = time.monotonic()
            for _ in range(rounds):
                peer.sendall(b"ping\n")
                got = b""
                while len(got) < 11:
                    got += peer.recv(4096)
            peer_s = time.monotonic() - start
    if not lines or not lines[-1].startswith(f"rounds {rounds} "):
        print("socket echo failed:", lines, out.stderr[-500:])
        return 1
    ms = max(1, int(lines[-1].split()[2]))
    rows.append(("Socket echo round trips/s", f"{rounds / (ms / 1000):.0f}", f"python {rounds / peer_s:.0f}"))
    rows.append(smtp_row(command))
    if rows[-1] is None:
        return 1
    print(f"{'benchmark (' + target + ')':32} {'quill':>10} {'peer':>14}")
    for name, value, peer in rows:
        print(f"{name:32} {value:>10} {peer:>14}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
