# Nine million updates of object fields.
class Point:
    def __init__(self):
        self.x = 0
        self.y = 0
        self.z = 0

o = Point()
for _ in range(3000000):
    o.x = o.x + 1
    o.y = o.y + 2
    o.z = o.x + o.y
print(o.x, o.z)
