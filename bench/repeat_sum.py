# Thirty million turns of a loop with a counter, summing the counter modulo 7.
s = 0
for i in range(1, 30000001):
    s = s + i % 7
print(s)
