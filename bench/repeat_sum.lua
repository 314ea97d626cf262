-- Thirty million turns of a loop with a counter, summing the counter modulo 7.
local s = 0
for i = 1, 30000000 do s = s + i % 7 end
print(s)
