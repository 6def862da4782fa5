#!/usr/bin/env bash
# Runs every program of bench/peers/ in Quill, Duktape (duk), MuJS (mujs) and
# Lua 5.4 and prints one table of CPU seconds and of the peers' times
# divided by Quill's (a ratio above 1 means Quill was faster), with geometric
# means in the last row, then a table of peak memory (maximum resident set,
# MB). Times are medians of PEER_RUNS runs.
#
#   bench/run-peers.sh [path/to/quill]
#   PEER_PROGRAMS="fib trees" bench/run-peers.sh   (a subset)
#
# The default quill is build/linux-release/tools/quill/quill; build it with
#   cmake --preset linux-release && cmake --build build/linux-release --target quill_tool
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
quill=${1:-$here/../build/linux-release/tools/quill/quill}
peers=$here/peers
read -r -a programs <<<"${PEER_PROGRAMS:-fib loop method strings array dict sort sortcmp regexp splitjoin date objects tuples trees}"

if [ ! -x "$quill" ]; then
    echo "run-peers: no quill at $quill" >&2
    exit 1
fi

# "SECONDS MB" taken by one command: the median CPU time (user + system,
# from the kernel's accounting in microseconds, so other load on the machine
# barely moves it) of PEER_RUNS runs (default 5) and the largest peak
# resident set; "- -" when it fails or is missing.
runs=${PEER_RUNS:-5}
measure() {
    command -v "$1" >/dev/null 2>&1 || { echo "- -"; return; }
    /usr/bin/python3 - "$runs" "$@" <<'PY'
import resource, subprocess, sys
runs, cmd = int(sys.argv[1]), sys.argv[2:]
times, peak = [], 0
for _ in range(runs):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    # GNU time reports the peak resident set of the command alone.
    done = subprocess.run(["/usr/bin/time", "-f", "run-peers-usage %M"] + cmd,
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if done.returncode != 0:
        print("- -")
        print("run-peers: %s failed: %s" % (" ".join(cmd), done.stderr[:200].decode(errors="replace")), file=sys.stderr)
        sys.exit(0)
    times.append(after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime)
    for line in done.stderr.decode(errors="replace").splitlines():
        if line.startswith("run-peers-usage "):
            peak = max(peak, int(line.split()[1]))
times.sort()
print("%.3f %.1f" % (times[(len(times) - 1) // 2], peak / 1024))
PY
}

rows=()
for p in "${programs[@]}"; do
    q=$(measure "$quill" run "$peers/$p.qls")
    d=$(measure duk "$peers/$p.js")
    m=$(measure mujs "$peers/$p.js")
    l=$(measure lua5.4 "$peers/$p.lua")
    rows+=("$p $q $d $m $l")
done

# Columns of a row: program, then seconds and MB for quill, duk, mujs, lua5.4.
table() {
    local title=$1 offset=$2
    printf '%s\n' "${rows[@]}" | awk -v title="$title" -v o="$offset" '
function ratio(a, b) { return (a == "-" || b == "-" || b == 0) ? "-" : sprintf("%.2f", a / b) }
BEGIN {
    printf "%-8s %9s %9s %9s %9s %9s %9s %9s\n", title, "quill", "duk", "mujs", "lua5.4", "duk/q", "mujs/q", "lua/q"
}
{
    q = $(2 + o); d = $(4 + o); m = $(6 + o); l = $(8 + o)
    r1 = ratio(d, q); r2 = ratio(m, q); r3 = ratio(l, q)
    printf "%-8s %9s %9s %9s %9s %9s %9s %9s\n", $1, q, d, m, l, r1, r2, r3
    if (r1 != "-") { s1 += log(r1); n1++ }
    if (r2 != "-") { s2 += log(r2); n2++ }
    if (r3 != "-") { s3 += log(r3); n3++ }
}
END {
    printf "%-8s %9s %9s %9s %9s %9s %9s %9s\n", "geomean", "", "", "", "",
        n1 ? sprintf("%.2f", exp(s1 / n1)) : "-",
        n2 ? sprintf("%.2f", exp(s2 / n2)) : "-",
        n3 ? sprintf("%.2f", exp(s3 / n3)) : "-"
}'
}

table seconds 0
echo
table "peak MB" 1
