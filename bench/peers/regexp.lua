-- Global pattern replace over 1 MB of text.
local function run()
    local s = "the quick brown fox jumps over the lazy dog, "
    while #s < 1000000 do s = s .. s end
    local r = string.gsub(s, "o[a-z]", "0")
    return #r
end
print(run())
