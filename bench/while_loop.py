# Counting to thirty million with while.
i = 0
while i < 30000000:
    i = i + 1
print(i)
