-- Ten million string appends, built as a table of parts as Lua code does.
local total = 0
for _ = 1, 10 do
  local parts = {}
  for i = 1, 1000000 do parts[i] = "ab" end
  total = total + #table.concat(parts)
end
print(total)
