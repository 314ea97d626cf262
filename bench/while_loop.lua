-- Counting to thirty million with while.
local i = 0
while i < 30000000 do i = i + 1 end
print(i)
