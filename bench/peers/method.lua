-- 10^6 method calls on one object.
local Counter = {}
Counter.__index = Counter
function Counter.new() return setmetatable({ n = 0 }, Counter) end
function Counter:add(d) self.n = self.n + d end
local function run()
    local c = Counter.new()
    for i = 0, 999999 do c:add(i) end
    return c.n
end
print(run())
