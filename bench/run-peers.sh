#!/usr/bin/env bash
# Runs every program of bench/peers/ in Quill, Duktape (duk), MuJS (mujs) and
# Lua 5.4 and prints one table of wall-clock seconds and of the peers' times
# divided by Quill's (a ratio above 1 means Quill was faster), with geometric
# means in the last row.
#
#   bench/run-peers.sh [path/to/quill]
#
# The default quill is build/linux-release/tools/quill/quill; build it with
#   cmake --preset linux-release && cmake --build build/linux-release --target quill
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
quill=${1:-$here/../build/linux-release/tools/quill/quill}
peers=$here/peers
programs=(fib loop method strings array dict sort sortcmp regexp splitjoin date)

if [ ! -x "$quill" ]; then
    echo "run-peers: no quill at $quill" >&2
    exit 1
fi

# Seconds taken by one command; "-" when it fails or is missing.
timed() {
    local start end out
    command -v "$1" >/dev/null 2>&1 || { echo "-"; return; }
    start=$(date +%s.%N)
    if ! out=$("$@" 2>&1); then
        echo "-"
        echo "run-peers: $* failed: ${out:0:200}" >&2
        return
    fi
    end=$(date +%s.%N)
    echo "$start $end" | awk '{ printf "%.3f", $2 - $1 }'
}

printf '%-8s %9s %9s %9s %9s %9s %9s %9s\n' program quill duk mujs lua5.4 duk/q mujs/q lua/q
rows=()
for p in "${programs[@]}"; do
    q=$(timed "$quill" run "$peers/$p.qls")
    d=$(timed duk "$peers/$p.js")
    m=$(timed mujs "$peers/$p.js")
    l=$(timed lua5.4 "$peers/$p.lua")
    rows+=("$p $q $d $m $l")
done

printf '%s\n' "${rows[@]}" | awk '
function ratio(a, b) { return (a == "-" || b == "-" || b == 0) ? "-" : sprintf("%.2f", a / b) }
{
    r1 = ratio($3, $2); r2 = ratio($4, $2); r3 = ratio($5, $2)
    printf "%-8s %9s %9s %9s %9s %9s %9s %9s\n", $1, $2, $3, $4, $5, r1, r2, r3
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
