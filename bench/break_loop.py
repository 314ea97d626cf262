# Many short loops, each left by break.
total = 0
for _ in range(4000000):
    i = 0
    while True:
        i = i + 1
        if i == 10:
            break
    total = total + i
print(total)
