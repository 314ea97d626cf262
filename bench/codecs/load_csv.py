# Loading a CSV file: the number of lines.
import csv
import sys

with open(sys.argv[1], encoding="utf-8", newline="") as f:
    print(len(list(csv.reader(f))))
