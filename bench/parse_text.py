# Counting the words and numbers of a text of three megabytes with re.
import re

pieces = ["alpha ", "beta, ", "42 ", "gamma-7 ", "delta\n", "1234 ", "epsilon. ", "zeta 99 "]
x = 1
unit = []
for _ in range(1000):
    x = (x * 8121 + 28411) % 134456
    unit.append(pieces[x % 8])
text = "".join(unit) * 500
words = len(re.findall("[a-z]+", text))
numbers = len(re.findall("[0-9]+", text))
print(len(text), words, numbers)
