-- Counting the words and numbers of a text of three megabytes with string patterns.
local pieces = {"alpha ", "beta, ", "42 ", "gamma-7 ", "delta\n", "1234 ", "epsilon. ", "zeta 99 "}
local x = 1
local unit = {}
for i = 1, 1000 do
  x = (x * 8121 + 28411) % 134456
  unit[i] = pieces[x % 8 + 1]
end
local text = string.rep(table.concat(unit), 500)
local words, numbers = 0, 0
for _ in text:gmatch("%l+") do words = words + 1 end
for _ in text:gmatch("%d+") do numbers = numbers + 1 end
print(#text, words, numbers)
