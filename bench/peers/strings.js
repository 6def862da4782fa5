// String building from 100,000 pieces.
function run() {
    var s = "";
    for (var i = 0; i < 100000; i++)
        s += "ab";
    return s;
}
var r = run();
print(r.length);
