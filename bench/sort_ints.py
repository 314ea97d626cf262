# Sorting a million integers made by a linear congruential sequence.
x = 1
data = []
for _ in range(1000000):
    x = (x * 8121 + 28411) % 134456
    data.append(x)
data.sort()
print(data[0], data[249999], data[499999], data[749999], data[-1])
