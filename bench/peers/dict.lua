-- A table used as a dictionary: 100,000 keys written, then every key read
-- five times.
local function run()
    local d = {}
    for i = 0, 99999 do d["k" .. i] = i end
    local sum = 0
    for r = 1, 5 do
        for j = 0, 99999 do sum = sum + d["k" .. j] end
    end
    return sum
end
print(run())
