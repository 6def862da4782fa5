-- Date arithmetic in a loop: step a date by a day and read its fields.
local function run()
    local t = 631152000 -- 1990-01-01 UTC
    local sum = 0
    for i = 1, 100000 do
        t = t + 86400
        local d = os.date("!*t", t)
        sum = sum + (d.wday - 1) + (d.month - 1) + d.year
    end
    return sum
end
print(run())
