-- Nine million updates of object fields.
local o = {x = 0, y = 0, z = 0}
for _ = 1, 3000000 do
  o.x = o.x + 1
  o.y = o.y + 2
  o.z = o.x + o.y
end
print(o.x, o.z)
