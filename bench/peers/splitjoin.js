// Split a text of 100,000 fields and join them again.
function run() {
    var a = [];
    for (var i = 0; i < 100000; i++)
        a.push(i);
    var s = a.join(",");
    var n = 0;
    for (var k = 0; k < 5; k++) {
        var f = s.split(",");
        s = f.join(",");
        n = n + f.length;
    }
    return n;
}
print(run());
