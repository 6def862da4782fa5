// An object used as a dictionary: 100,000 keys written, then every key read
// five times.
function run() {
    var d = new Object();
    for (var i = 0; i < 100000; i++)
        d["k" + i] = i;
    var sum = 0;
    for (var r = 0; r < 5; r++)
        for (var j = 0; j < 100000; j++)
            sum = sum + d["k" + j];
    return sum;
}
print(run());
