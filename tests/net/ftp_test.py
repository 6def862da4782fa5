"""Inet.Ftp against a real FTP server (python3-pyftpdlib) on 127.0.0.1.
Usage: ftp_test.py QUILL SCRIPT"""
import os
import sys
import tempfile

from net_servers import FtpServer, quill_command, run_script


def main():
    quill, script = quill_command(sys.argv[1]), sys.argv[2]
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        home, public = os.path.join(tmp, "home"), os.path.join(tmp, "public")
        os.mkdir(home)
        os.mkdir(public)
        with open(os.path.join(public, "readme.txt"), "w") as f:
            f.write("public file\n")
        data = bytes((i * 7 + i // 255) & 0xFF for i in range(150000))
        upload, download = os.path.join(tmp, "upload.bin"), os.path.join(tmp, "download.bin")
        with open(upload, "wb") as f:
            f.write(data)
        with FtpServer("ftpuser", "ftp-pass", home, public) as server:
            lines, out = run_script(quill, script, server.port, "ftpuser", "ftp-pass", upload, download)
        n = len(data)
        expected = ["ftp [object Inet.Ftp] true", "dir /", "mkdir true true /inbox", f"upload true {n}/{n}",
                    f"info {n} true", "rename true", f"download true {n}/{n}", "missing false true",
                    "list renamed.bin / sub", "pattern renamed.bin", "delete true true false", "up true true 0",
                    "close true false", "anonymous true readme.txt false", "wrong false"]
        if lines != expected:
            failures.append(f"{lines!r}\n!=\n{expected!r}\n{out.stderr}")
        if not os.path.exists(download) or open(download, "rb").read() != data:
            failures.append("the downloaded file differs from the uploaded one")
        if os.listdir(home):
            failures.append(f"left on the server: {os.listdir(home)}")
    for f in failures:
        print(f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
