"""Servers on 127.0.0.1 for the network tests, each started on a free port
and stopped by the test: a line server, an HTTP server, a DNS server (MX over
TCP, python3-dnslib) and an FTP server (python3-pyftpdlib). Also runs quill
(or quill.exe under its emulator) on a script."""
import socket
import socketserver
import subprocess
import threading


def quill_command(joined):
    """QUILL as given by CTest: an emulator command and the program joined by "|"."""
    return joined.split("|")


def run_script(quill, script, *args, timeout=120):
    out = subprocess.run(quill + ["run", script] + [str(a) for a in args],
                         capture_output=True, text=True, timeout=timeout)
    lines = [line for line in out.stdout.replace("\r", "").splitlines() if line]
    return lines, out


class _LineHandler(socketserver.StreamRequestHandler):
    def handle(self):
        for raw in self.rfile:
            line = raw.rstrip(b"\r\n")
            self.wfile.write(b"echo: " + line + b"\n")
            if line == b"bye":
                break


class LineServer:
    """Answers each line with "echo: <line>" and closes after "bye"."""

    def __enter__(self):
        socketserver.ThreadingTCPServer.allow_reuse_address = True
        self.server = socketserver.ThreadingTCPServer(("127.0.0.1", 0), _LineHandler)
        self.server.daemon_threads = True
        self.port = self.server.server_address[1]
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.server.shutdown()
        self.server.server_close()


class HttpServer:
    """Python's http.server for a folder, with one extra header on every
    answer (X-Served-By: net-test)."""

    def __init__(self, folder):
        self.folder = folder

    def __enter__(self):
        import functools
        import http.server

        class Handler(http.server.SimpleHTTPRequestHandler):
            def end_headers(self):
                self.send_header("X-Served-By", "net-test")
                super().end_headers()

            def log_message(self, *args):
                pass

        handler = functools.partial(Handler, directory=self.folder)
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.server.daemon_threads = True
        self.port = self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        return self

    def __exit__(self, *exc):
        self.server.shutdown()
        self.server.server_close()


class DnsServer:
    """python3-dnslib answering over TCP on port 53 of a loopback address of
    its own (the MX lookup always uses port 53): MX records for `domain`."""

    def __init__(self, domain, exchangers):
        self.domain, self.exchangers = domain, exchangers

    def __enter__(self):
        import random
        from dnslib import MX, QTYPE, RR, CNAME
        from dnslib.server import BaseResolver, DNSLogger, DNSServer

        domain, exchangers = self.domain, self.exchangers

        class Resolver(BaseResolver):
            def resolve(self, request, handler):
                reply = request.reply()
                name = str(request.q.qname).rstrip(".")
                if name == domain and request.q.qtype == QTYPE.MX:
                    # A record of another type first: the reader skips it.
                    reply.add_answer(RR(request.q.qname, QTYPE.CNAME, rdata=CNAME("alias." + domain), ttl=60))
                    for pref, host in exchangers:
                        reply.add_answer(RR(request.q.qname, QTYPE.MX, rdata=MX(host, pref), ttl=60))
                return reply

        for _ in range(20):
            self.address = f"127.{random.randint(1, 254)}.{random.randint(1, 254)}.{random.randint(1, 254)}"
            try:
                self.server = DNSServer(Resolver(), port=53, address=self.address, tcp=True,
                                        logger=DNSLogger(logf=lambda text: None))
                break
            except OSError:
                continue
        self.server.start_thread()
        return self

    def __exit__(self, *exc):
        self.server.stop()
        self.server.server.server_close()


class FtpServer:
    """python3-pyftpdlib with one user (full rights in `home`) and anonymous
    read-only access to `public`."""

    def __init__(self, user, password, home, public):
        self.user, self.password, self.home, self.public = user, password, home, public

    def __enter__(self):
        import logging
        from pyftpdlib.authorizers import DummyAuthorizer
        from pyftpdlib.handlers import FTPHandler
        from pyftpdlib.servers import ThreadedFTPServer

        from pyftpdlib.log import config_logging
        config_logging(level=logging.ERROR)
        authorizer = DummyAuthorizer()
        authorizer.add_user(self.user, self.password, self.home, perm="elradfmwMT")
        authorizer.add_anonymous(self.public)
        handler = type("Handler", (FTPHandler,), {"authorizer": authorizer})
        self.server = ThreadedFTPServer(("127.0.0.1", 0), handler)
        self.port = self.server.address[1]
        self.thread = threading.Thread(target=self.server.serve_forever, kwargs={"timeout": 0.2}, daemon=True)
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.server.close_all()
        self.thread.join(timeout=10)


class HostileServer:
    """A TCP server that answers the n-th connection with the n-th of
    `plays`: each play is a list of steps to send after reading what the
    client sent first: bytes, a function of the request giving bytes, None
    meaning "close now", or an int meaning "send the rest one byte at a
    time". Bound to `address` and `port`
    (0: a free port)."""

    def __init__(self, plays, address="127.0.0.1", port=0):
        self.plays, self.address, self.wanted = list(plays), address, port

    def __enter__(self):
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind((self.address, self.wanted))
        self.listener.listen(8)
        self.port = self.listener.getsockname()[1]
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()
        return self

    def _serve(self):
        import time
        for play in self.plays:
            try:
                conn, _ = self.listener.accept()
            except OSError:
                return
            with conn:
                conn.settimeout(5)
                try:
                    request = conn.recv(65536)
                    bytewise = False
                    for step in play:
                        if step is None:
                            break
                        if isinstance(step, int):
                            bytewise = True
                            continue
                        if callable(step):
                            step = step(request)
                        if bytewise:
                            for i in range(len(step)):
                                conn.sendall(step[i:i + 1])
                                time.sleep(0.0005)
                        else:
                            conn.sendall(step)
                    else:
                        time.sleep(0.2)
                except OSError:
                    pass

    def __exit__(self, *exc):
        self.listener.close()
        self.thread.join(timeout=10)
