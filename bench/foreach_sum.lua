-- Summing a table of a million integers ten times, element by element.
local data = {}
for i = 1, 1000000 do data[#data + 1] = i end
local s = 0
for _ = 1, 10 do
  for _, x in ipairs(data) do s = s + x % 3 end
end
print(s)
