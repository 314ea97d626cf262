# Eight million lookups and stores on a dict of integer keys.
m = {}
for i in range(1, 1001):
    m[i] = 0
k = 0
for _ in range(4000000):
    k = (k + 7) % 1000 + 1
    m[k] = m[k] + 1
total = 0
for key, value in m.items():
    total = total + value
print(len(m), total, m[1])
