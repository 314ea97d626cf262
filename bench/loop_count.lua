-- Thirty million turns of a counted loop.
local n = 0
for _ = 1, 30000000 do n = n + 1 end
print(n)
