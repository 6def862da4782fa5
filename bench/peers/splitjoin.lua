-- Split a text of 100,000 fields and join them again.
local function run()
    local a = {}
    for i = 1, 100000 do a[i] = tostring(i - 1) end
    local s = table.concat(a, ",")
    local n = 0
    for k = 1, 5 do
        local f = {}
        for field in string.gmatch(s, "[^,]+") do f[#f + 1] = field end
        s = table.concat(f, ",")
        n = n + #f
    end
    return n
end
print(run())
