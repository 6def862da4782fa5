"""Inet against real servers on loopback: HTTP (Python's http.server), DNS
(python3-dnslib, MX over TCP) and ping of 127.0.0.1.
Usage: inet_test.py QUILL SCRIPT"""
import email.utils
import os
import sys
import tempfile

from net_servers import DnsServer, HttpServer, quill_command, run_script


def system_dns_servers():
    """The IPv4 name servers of the machine, which Wine reports."""
    servers = []
    with open("/etc/resolv.conf") as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 2 and parts[0] == "nameserver" and parts[1].count(".") == 3:
                servers.append(parts[1])
    return servers


def adapter_mismatches(line):
    """An adapter row checked against the kernel's view of that interface."""
    fields = line.split(" ")
    name, mac, kind, ips, masks = fields[1], fields[2], " ".join(fields[3:-3]), fields[-3], fields[-2]
    problems = []
    path = f"/sys/class/net/{name}/address"
    if not os.path.exists(path):
        return [f"no interface {name}: {line}"]
    with open(path) as f:
        if f.read().strip().upper().replace(":", "-") != mac:
            problems.append(f"hardware address differs: {line}")
    if kind not in ("other", "ethernet", "token ring", "fddi", "ppp", "loopback", "slip", ""):
        problems.append(f"type: {line}")
    if len(ips.split(",")) != len(masks.split(",")):
        problems.append(f"addresses and masks: {line}")
    return problems


def main():
    quill, script = quill_command(sys.argv[1]), sys.argv[2]
    with tempfile.TemporaryDirectory() as tmp:
        served = os.path.join(tmp, "served")
        os.mkdir(served)
        data = bytes((i * 131 + i // 509) & 0xFF for i in range(300001))
        with open(os.path.join(served, "payload.bin"), "wb") as f:
            f.write(data)
        mtime = 1700000000
        os.utime(os.path.join(served, "payload.bin"), (mtime, mtime))
        local = os.path.join(tmp, "local.bin")
        with HttpServer(served) as http, DnsServer("example.test", [(20, "mx2.example.test"),
                                                                   (10, "mx1.example.test")]) as dns:
            lines, out = run_script(quill, script, http.port, "payload.bin", local, dns.address)
        failures = []
        expected = ["inet [object Inet]", f"getUrl true true {len(data)}", "getUrl status 0", "missing false",
                    f"size {len(data)}", "status 200 404", "modified 1000",
                    "header net-test true", "ftp scheme -1", "stopped false",
                    "mx 20 mx2.example.test, 10 mx1.example.test", "mx none 0",
                    "ping 2 4:Reply from 127.0.0.1|4:Reply from 127.0.0.1", "ping unknown 0 2:Unkown host no-such-",
                    "connected true", "dns " + ",".join(system_dns_servers()), "ipconfig [object IPConfig] true true true"]
        adapters = [line for line in lines if line.startswith("adapter ")]
        if [line for line in lines if not line.startswith("adapter ")] != expected:
            failures.append(f"{lines!r}\n!=\n{expected!r}\n{out.stderr}")
        for line in adapters:
            failures += adapter_mismatches(line)
        if not os.path.exists(local) or open(local, "rb").read() != data:
            failures.append("the downloaded file differs from the served one")
        if os.path.exists(local + ".missing"):
            failures.append("an error page was saved as the download")
    for f in failures:
        print(f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
