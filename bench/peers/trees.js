// Binary trees: a depth-16 tree kept while 20 depth-12 trees are built and
// walked.
function make(d) {
    if (d == 0)
        return {left: null, right: null};
    return {left: make(d - 1), right: make(d - 1)};
}
function check(t) {
    if (t.left == null)
        return 1;
    return 1 + check(t.left) + check(t.right);
}
function run() {
    var long = make(16);
    var sum = 0;
    for (var i = 0; i < 20; i++)
        sum = sum + check(make(12));
    return sum + check(long);
}
print(run());
