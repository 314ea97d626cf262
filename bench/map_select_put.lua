-- Eight million lookups and stores on a table of integer keys (a hash part).
local m = {}
for i = 1, 1000 do m[i * 1] = 0 end
local k = 0
for _ = 1, 4000000 do
  k = (k + 7) % 1000 + 1
  m[k] = m[k] + 1
end
local total, n = 0, 0
for key, value in pairs(m) do total = total + value; n = n + 1 end
print(n, total, m[1])
