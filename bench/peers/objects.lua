-- 10^6 objects with two properties, kept in an array, then summed.
local function run()
    local a = {}
    for i = 0, 999999 do a[i] = { x = i, y = i + 1 } end
    local sum = 0
    for j = 0, 999999 do sum = sum + a[j].x + a[j].y end
    return sum
end
print(run())
