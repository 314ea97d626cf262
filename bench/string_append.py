# Ten million string appends, built as a list of parts as Python code does.
total = 0
for _ in range(10):
    parts = []
    for _ in range(1000000):
        parts.append("ab")
    total = total + len("".join(parts))
print(total)
