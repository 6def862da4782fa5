-- String building from 100,000 pieces.
local function run()
    local s = ""
    for i = 1, 100000 do s = s .. "ab" end
    return s
end
print(#run())
