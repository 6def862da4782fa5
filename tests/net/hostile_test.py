"""Inet against hostile servers on loopback: an HTTP server that breaks off,
sends one byte at a time, oversized header lines and malformed status lines,
and a DNS server (port 53 of a loopback address of its own) that announces
more than it sends, splits a sound reply at every byte, loops its name
pointers or closes at once. Usage: hostile_test.py QUILL SCRIPT"""
import os
import random
import sys
import tempfile

from dnslib import DNSRecord, MX, QTYPE, RR

from net_servers import HostileServer, quill_command, run_script


def mx_reply(request):
    query = DNSRecord.parse(request[2:])
    reply = query.reply()
    for pref, host in ((10, "mx1.example.test"), (20, "mx2.example.test")):
        reply.add_answer(RR(query.q.qname, QTYPE.MX, rdata=MX(host, pref), ttl=60))
    packed = reply.pack()
    return len(packed).to_bytes(2, "big") + packed


def looping_reply(request):
    good = bytearray(mx_reply(request)[2:])
    good[-1] = len(good) - 2  # the last name points at itself
    return len(good).to_bytes(2, "big") + bytes(good)


def main():
    quill, script = quill_command(sys.argv[1]), sys.argv[2]
    body = bytes(range(256)) * 12
    ok_head = b"HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: application/octet-stream\r\n"
    http_plays = [
        [ok_head + b"Content-Length: 100000\r\n\r\n" + body[:1000], None],
        [0, ok_head + b"Content-Length: %d\r\n\r\n" % len(body) + body],
        [ok_head + b"X-Big: " + b"a" * 200000 + b"\r\nContent-Length: 0\r\n\r\n"],
        [ok_head + b"X-Long: " + b"b" * 3000 + b"\r\nContent-Length: 0\r\n\r\n"],
        [b"HTTP/1.1 abc Broken\r\nConnection: close\r\nContent-Length: 0\r\n\r\n"],
        [None],
        [None],
    ]
    dns_plays = [
        [b"\xff\xff" + b"x" * 10, None],
        [0, mx_reply],
        [looping_reply],
        [None],
        [b"\x00\x05abc", None],
        [lambda request: b"\x00\x0c" + request[2:4] + b"\x81\x80\xff\xff\xff\xff\xff\xff\xff\xff"],
    ]
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        local = os.path.join(tmp, "local.bin")
        address = None
        for _ in range(20):
            address = f"127.{random.randint(1, 254)}.{random.randint(1, 254)}.{random.randint(1, 254)}"
            try:
                dns = HostileServer(dns_plays, address, 53).__enter__()
                break
            except OSError:
                continue
        try:
            with HostileServer(http_plays) as http:
                lines, out = run_script(quill, script, http.port, address, local)
        finally:
            dns.__exit__()
        expected = ["truncated false", "bytewise true", "big header true", "long header 3000", "bad status -1", "closed -1 false",
                    "mx 0", "mx 2", "mx 0", "mx 0", "mx 0", "mx 0"]
        if lines != expected:
            failures.append(f"{lines!r}\n!=\n{expected!r}\n{out.stderr}")
        if not os.path.exists(local) or open(local, "rb").read() != body:
            failures.append("the download sent byte by byte differs")
    for f in failures:
        print(f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
