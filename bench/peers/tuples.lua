-- 10^6 two-element arrays, kept in an array, then summed.
local function run()
    local a = {}
    for i = 0, 999999 do a[i] = { i, i + 1 } end
    local sum = 0
    for j = 0, 999999 do sum = sum + a[j][1] + a[j][2] end
    return sum
end
print(run())
