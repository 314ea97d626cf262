#!/usr/bin/env python3
"""Writes data.json and data.csv of about the given size (in MB) into a folder.

Usage: make_data.py folder megabytes

The JSON is an array of records (numbers, strings with escapes and
non-ASCII characters, logic values, null, a nested array) as json.dumps
writes it; the CSV holds the same kind of records, every tenth with a
quoted value holding a comma, doubled quotes and a line feed.
"""
import csv
import json
import os
import random
import sys

folder, size = sys.argv[1], int(float(sys.argv[2]) * 1_000_000)
random.seed(1)


def record(i):
    return {"id": i, "name": "user%d" % i, "email": "u%d@example.com" % i,
            "score": round(random.random() * 1000, 3), "tags": ["a", "bb", "ccc"],
            "active": i % 2 == 0, "note": None, "text": 'tab\there "quoted" é'}


records, length = [], 2
while length < size:
    r = record(len(records))
    records.append(r)
    length += len(json.dumps(r)) + 2
with open(os.path.join(folder, "data.json"), "w", encoding="utf-8") as f:
    json.dump(records, f, ensure_ascii=False)

with open(os.path.join(folder, "data.csv"), "w", encoding="utf-8", newline="") as f:
    w = csv.writer(f)
    w.writerow(["id", "name", "email", "score", "note"])
    i = 0
    while f.tell() < size:
        w.writerow([i, "user%d" % i, "u%d@example.com" % i, "%.3f" % (random.random() * 1000),
                    'say "hi", then\nleave' if i % 10 == 0 else "plain text"])
        i += 1
