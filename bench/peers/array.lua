-- Fill a 10^6-element array, then sum it.
local function run()
    local a = {}
    for i = 0, 999999 do a[i] = i end
    local sum = 0
    for j = 0, 999999 do sum = sum + a[j] end
    return sum
end
print(run())
