-- Nested arithmetic loop: 10^4 x 10^4 additions.
local function run()
    local sum = 0
    for i = 0, 9999 do
        for j = 0, 9999 do
            sum = sum + j
        end
    end
    return sum
end
print(run())
