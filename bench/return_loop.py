# A function left through return, called in a hot loop.
def step(n):
    return n + 1

x = 0
for _ in range(5000000):
    x = step(x)
print(x)
