// Nested arithmetic loop: 10^4 x 10^4 additions.
function run() {
    var sum = 0;
    for (var i = 0; i < 10000; i++) {
        for (var j = 0; j < 10000; j++) {
            sum = sum + j;
        }
    }
    return sum;
}
print(run());
