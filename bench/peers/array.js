// Fill a 10^6-element array, then sum it.
function run() {
    var a = [];
    for (var i = 0; i < 1000000; i++)
        a[i] = i;
    var sum = 0;
    for (var j = 0; j < 1000000; j++)
        sum = sum + a[j];
    return sum;
}
print(run());
