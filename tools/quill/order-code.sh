#!/usr/bin/env bash
# Writes tools/quill/code-order.txt: the symbols of the functions that the
# optimised Linux quill runs for a trivial script (start-up), then those the
# small programs of bench/peers/ add, each once, in that order. The linker
# places these functions first and side by side, so a short run touches a
# few pages of code instead of a page here and there across the whole
# program. Needs valgrind; regenerate after larger changes (stale names are
# ignored by the linker, new functions just land elsewhere).
#
#   tools/quill/order-code.sh [path/to/quill]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
quill=${1:-$here/../../build/linux-release/tools/quill/quill}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo 'trace(1);' > "$work/start.qls"
n=0
for script in "$work/start.qls" "$here"/../../bench/peers/{fib,method,date,array,dict,trees,objects,tuples,sort,sortcmp,splitjoin,strings,regexp}.qls; do
    n=$((n + 1))
    valgrind --tool=callgrind --demangle=no --callgrind-out-file="$work/$n.out" "$quill" run "$script" >/dev/null 2>&1
done
/usr/bin/python3 - "$work" "$n" > "$here/code-order.txt" <<'PY'
import re, sys
work, count = sys.argv[1], int(sys.argv[2])
# The C runtime's entry code, which the profiles may not name; left to the
# linker it would land past the ordered functions.
# Then the one table every run reads (the primes of the hash maps' sizes),
# which takes .rodata's first page instead of a page of its own.
first = ("_start", "_dl_relocate_static_pie", "deregister_tm_clones", "register_tm_clones",
         "__do_global_dtors_aux", "frame_dummy",
         "_ZZNKSt8__detail20_Prime_rehash_policy11_M_next_bktEmE10__fast_bkt")
for name in first:
    print(name)
seen = set(first)
for i in range(1, count + 1):
    lines = open("%s/%d.out" % (work, i)).read().split("\n")
    objects, functions = {}, {}
    for line in lines:
        m = re.match(r"^c?ob=\((\d+)\) (.*)$", line)
        if m:
            objects[m.group(1)] = m.group(2)
        m = re.match(r"^c?fn=\((\d+)\) (.*)$", line)
        if m:
            functions[m.group(1)] = m.group(2)
    current = ""
    for line in lines:
        m = re.match(r"^ob=\((\d+)\)", line)
        if m:
            current = objects[m.group(1)]
            continue
        m = re.match(r"^fn=\((\d+)\)", line)
        if m and current.endswith("/quill"):
            # Recursion shows as name'2, name'3: the same function.
            name = re.sub(r"'\d+$", "", functions[m.group(1)])
            if name not in seen and not name.startswith(("0x", "(")):
                seen.add(name)
                print(name)
PY
wc -l < "$here/code-order.txt"
