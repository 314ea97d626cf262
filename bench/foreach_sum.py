# Summing a list of a million integers ten times, element by element.
data = []
for i in range(1, 1000001):
    data.append(i)
s = 0
for _ in range(10):
    for x in data:
        s = s + x % 3
print(s)
