# A million lists built from evaluated expressions.
x, y, n = 1, 2, 0
for _ in range(1000000):
    r = [x + 1, y * 2, x]
    c = ["a", x, y + 1, "b"]
    n = n + len(r)
print(n)
