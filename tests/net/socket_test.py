"""Socket against a real line server on 127.0.0.1.
Usage: socket_test.py QUILL SCRIPT"""
import sys

from net_servers import LineServer, quill_command, run_script


def main():
    quill, script = quill_command(sys.argv[1]), sys.argv[2]
    with LineServer() as server:
        lines, out = run_script(quill, script, server.port)
    expected = ["socket [object Socket] 13330 16909060 4660", "create true", "name 0.0.0.0",
                "connect false 10035", f"connected 0 true {server.port}", "sent 22 22", "closed true",
                "lines echo: hello|echo: second line|echo: bye", "writable true true",
                "listen true", "select true true",
                "accepted [object Socket] true", "peer true ping from client", "oob 1 true", "shutDown true true", "udp true true true",
                "sendTo 4 4", "from true 127.0.0.1 4 data", "ioctl true", "bound again false true", "options true true 2",
                "closed send -1 true"]
    if lines != expected:
        print(f"{lines!r}\n!=\n{expected!r}\n{out.stderr}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
