// Global regular-expression replace over 1 MB of text.
function run() {
    var s = "the quick brown fox jumps over the lazy dog, ";
    while (s.length < 1000000)
        s = s + s;
    var r = s.replace(/o[a-z]/g, "0");
    return r.length;
}
print(run());
