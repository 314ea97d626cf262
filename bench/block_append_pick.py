# Appending two million values to a list, then picking each of them.
b = []
for i in range(1, 2000001):
    b.append(i)
s = 0
for i in range(1, 2000001):
    s = s + b[i - 1] % 5
print(s)
