// Date arithmetic in a loop: step a date by a day and read its fields.
function run() {
    var d = new Date(Date.UTC(1990, 0, 1));
    var sum = 0;
    for (var i = 0; i < 100000; i++) {
        d.setTime(d.getTime() + 86400000);
        sum = sum + d.getUTCDay() + d.getUTCMonth() + d.getUTCFullYear();
    }
    return sum;
}
print(run());
