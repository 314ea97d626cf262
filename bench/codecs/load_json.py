# Loading a JSON file: the number of records.
import json
import sys

with open(sys.argv[1], encoding="utf-8") as f:
    print(len(json.load(f)))
