// Sort 100,000 numbers with the default (text) comparison.
function run() {
    var a = [];
    var x = 1;
    for (var i = 0; i < 100000; i++) {
        x = (x * 75 + 74) % 65537;
        a.push(x);
    }
    a.sort();
    return a;
}
var a = run();
print(a[0] + " " + a[99999]);
