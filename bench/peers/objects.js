// 10^6 objects with two properties, kept in an array, then summed.
function run() {
    var a = [];
    for (var i = 0; i < 1000000; i++)
        a[i] = {x: i, y: i + 1};
    var sum = 0;
    for (var j = 0; j < 1000000; j++)
        sum = sum + a[j].x + a[j].y;
    return sum;
}
print(run());
