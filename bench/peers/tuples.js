// 10^6 two-element arrays, kept in an array, then summed.
function run() {
    var a = [];
    for (var i = 0; i < 1000000; i++)
        a[i] = [i, i + 1];
    var sum = 0;
    for (var j = 0; j < 1000000; j++)
        sum = sum + a[j][0] + a[j][1];
    return sum;
}
print(run());
