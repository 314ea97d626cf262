-- A million tables built from evaluated expressions.
local x, y, n = 1, 2, 0
for _ = 1, 1000000 do
  local r = {x + 1, y * 2, x}
  local c = {"a", x, y + 1, "b"}
  n = n + #r
end
print(n)
