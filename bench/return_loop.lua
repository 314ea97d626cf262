-- A function left through return, called in a hot loop.
local function step(n)
    return n + 1
end

local x = 0
for _ = 1, 5000000 do
    x = step(x)
end
print(x)
