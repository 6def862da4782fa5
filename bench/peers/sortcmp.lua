-- Sort 100,000 numbers with a comparison function.
local function run()
    local a = {}
    local x = 1
    for i = 1, 100000 do
        x = (x * 75 + 74) % 65537
        a[i] = x
    end
    table.sort(a, function(p, q) return p < q end)
    return a
end
local a = run()
print(a[1] .. " " .. a[100000])
