// 10^6 method calls on one object.
function Counter() {
    this.n = 0;
}
Counter.prototype.add = function (d) {
    this.n = this.n + d;
};
function run() {
    var c = new Counter();
    for (var i = 0; i < 1000000; i++)
        c.add(i);
    return c.n;
}
print(run());
