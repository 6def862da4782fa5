-- Binary trees: a depth-16 tree kept while 20 depth-12 trees are built and
-- walked.
local function make(d)
    if d == 0 then return { left = false, right = false } end
    return { left = make(d - 1), right = make(d - 1) }
end
local function check(t)
    if not t.left then return 1 end
    return 1 + check(t.left) + check(t.right)
end
local function run()
    local long = make(16)
    local sum = 0
    for i = 1, 20 do sum = sum + check(make(12)) end
    return sum + check(long)
end
print(run())
