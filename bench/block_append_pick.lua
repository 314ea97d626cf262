-- Appending two million values to a table, then picking each of them.
local b = {}
for i = 1, 2000000 do table.insert(b, i) end
local s = 0
for i = 1, 2000000 do s = s + b[i] % 5 end
print(s)
