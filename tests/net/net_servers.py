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
