-- Sorting a million integers made by a linear congruential sequence.
local x = 1
local data = {}
for i = 1, 1000000 do
  x = (x * 8121 + 28411) % 134456
  data[i] = x
end
table.sort(data)
print(data[1], data[250000], data[500000], data[750000], data[#data])
