# Thirty million turns of a counted loop.
n = 0
for _ in range(30000000):
    n = n + 1
print(n)
