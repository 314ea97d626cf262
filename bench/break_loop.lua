-- Many short loops, each left by break.
local total = 0
for _ = 1, 4000000 do
    local i = 0
    while true do
        i = i + 1
        if i == 10 then break end
    end
    total = total + i
end
print(total)
