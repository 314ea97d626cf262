#!/usr/bin/env python3
"""Checks load-json/to-json and load-csv/to-csv against python3's json and
csv modules: each side writes the same data and the other side's reading of
it must give that data back.

Usage: check_codecs.py path/to/zel
"""
import csv
import io
import json
import math
import os
import sys
import tempfile

from zel_run import output_lines

ZEL = sys.argv[1]
failures = []


def check(name, ok, detail=""):
    if not ok:
        failures.append(f"{name}: {detail}")


def run_zel(script, directory):
    return output_lines(ZEL, script, directory, failures, timeout=120)


def write_cases(directory, texts):
    """Each text in a file of its own, in the order of their names; the
    files of earlier cases are removed."""
    for name in os.listdir(directory):
        if name.endswith(".in"):
            os.remove(os.path.join(directory, name))
    for i, text in enumerate(texts):
        with open(os.path.join(directory, f"{i:04}.in"), "w", encoding="utf-8", newline="") as f:
            f.write(text)


# Applies a Zel expression of `text` (the case file's contents) to each case
# and prints for each: the JSON text of the result (the result itself when
# it is already JSON text), or ERROR for an error returned or raised.
def per_case(directory, expression, encode=True):
    return f"""
dir: %{directory}/
foreach file sort read dir [
    if %.in = suffix? file [
        text: read dir/:file
        result: try [{expression}]
        print either error? :result ["ERROR"] [{"to-json" if encode else ""} :result]
    ]
]
"""


def normal(value):
    """A value as Zel reads it: integers beyond 32 bits become floats."""
    if isinstance(value, bool) or value is None:
        return value
    if isinstance(value, int):
        return value if -2**31 <= value < 2**31 else float(value)
    if isinstance(value, list):
        return [normal(v) for v in value]
    if isinstance(value, dict):
        return {k: normal(v) for k, v in value.items()}
    return value


def same(a, b):
    """Equal values, floats bit for bit (so -0.0 differs from 0.0)."""
    if isinstance(a, float) and isinstance(b, float):
        return math.copysign(1, a) == math.copysign(1, b) and a == b
    if isinstance(a, list) and isinstance(b, list):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    if isinstance(a, dict) and isinstance(b, dict):
        return list(a) == list(b) and all(same(a[k], b[k]) for k in a)
    return type(a) is type(b) and a == b


def upper_escapes(text):
    """Python writes \\u escapes in lower case, Zel in upper case."""
    out, i = [], 0
    while i < len(text):
        if text.startswith("\\u", i):
            out.append("\\u" + text[i + 2:i + 6].upper())
            i += 6
        elif text[i] == "\\":
            out.append(text[i:i + 2])
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


VALID_JSON = [
    '{"a": {"b": [1, {"c": [[], {}, [[[]]]]}], "d": "e"}, "f": []}',
    '[{}, [], "", 0, -0, 1, -1]',
    '"\\" \\\\ \\/ \\b \\f \\n \\r \\t \\u0000 \\u001f \\u007f \\u00e9 \\uFFFF \\u4e2d"',
    '"\\ud83d\\ude00 \\uD834\\uDD1E \\udbff\\udfff \\ud800\\udc00"',
    '"é中😀 raw"',
    '[2147483647, -2147483648, 2147483648, -2147483649, 12345678901, 123456789012345678901234567890]',
    '[0.5, -0.5e+2, 1e3, 1E-3, 1.7976931348623157e308, 5e-324, 2.2250738585072014e-308, '
    '0.30000000000000004, -0.0, 1.5e300, 123.456e-10, 0e0, 0.0]',
    ' \t\r\n[ 1 ,\n 2 ]\r\n ',
    '{"first-name": 1, "1st": 2, "a b": 3, "": 4, "-1": 5, "é": 6, "a": 7}',
    'true', 'false', 'null', '"x"', '  42  ',
    '{"a": 1, "a": 2}',
]

INVALID_JSON = [
    '', ' ', '[1,]', '{"a": 1,}', '[,1]', '[1 2]', '[01]', '00', '-01', '+1', '.5', '5.', '1.e5',
    '1e', '1e+', '-', '0x10', 'TRUE', 'Null', 'nul', '[1', '{"a" 1}', '{a: 1}', "{'a': 1}",
    '["a\tb"]', '"a\nb"', '"\x01"', '"\\x"', '"\\u12"', '"\\u12g4"', '"abc', '[1] 2', '{} {}',
    '\u00a01', '[1]\u00a0', 'NaN', 'Infinity', '-Infinity',
]

# Python accepts lone surrogates, which no text can hold; Zel refuses them.
LONE_SURROGATES = ['"\\ud83d"', '"\\udc00"', '"\\ud83d\\u0041"', '"\\ud83dx"']

# Data that python writes and Zel reads back, and Zel writes and python
# reads back.
JSON_DATA = [
    {"name": "x", "list": [1, 2.5, True, False, None, "s"], "nested": {"a": {"b": {}}}, "empty": []},
    ["\"\\/\b\f\n\r\t\x00\x1f\x7f", "é", "中", "😀", "\U0010FFFF", ""],
    [0, -1, 2**31 - 1, -2**31, 1e-7, 1e21, 0.1, 1 / 3, -2.5e-300],
    [[[[[[]]]]], {"": {"": {}}}],
    {"k" + str(i): i for i in range(50)},
]


def check_json(directory):
    # Zel reads what python reads; what it writes reads back to the same.
    texts = VALID_JSON + INVALID_JSON + LONE_SURROGATES
    write_cases(directory, texts)
    lines = run_zel(per_case(directory, "load-json text"), directory)
    for i, text in enumerate(texts):
        got = lines[i] if i < len(lines) else None
        if i < len(VALID_JSON):
            if got is None or got == "ERROR":
                check(f"json read {text!r}", False, f"refused: {got}")
                continue
            expected = normal(json.loads(text))
            if isinstance(expected, dict):  # repeated keys: the last one stays
                expected = dict(expected)
            check(f"json read {text!r}", same(json.loads(got), expected), got)
        else:
            check(f"json refuse {text!r}", got == "ERROR", got)

    # Both write the same data; each text reads back to it, and the compact
    # texts are the same but for the float notation.
    for i, data in enumerate(JSON_DATA):
        write_cases(directory, [json.dumps(data)])
        for suffix in ("", "/ascii"):
            ascii_only = suffix == "/ascii"
            out = run_zel(per_case(directory, f"to-json{suffix} load-json text", False), directory)[0]
            check(f"json write{suffix} {i}", same(json.loads(out), normal(data)), out)
            if ascii_only:
                check(f"json ascii {i}", all(ord(c) < 128 for c in out), out)
            if i != 2:
                py = json.dumps(data, separators=(",", ":"), ensure_ascii=ascii_only)
                if ascii_only:
                    py = py.replace("\\u007f", "\x7f")
                check(f"json text{suffix} {i}", upper_escapes(py) == out, f"{out} <> {py}")
        pretty = run_zel(per_case(directory, 'to-json/pretty load-json text "  "', False), directory)
        out = "\n".join(pretty[:-1])  # the pretty text spans lines
        if i != 2:
            py = json.dumps(data, indent="  ", ensure_ascii=False)
            check(f"json pretty {i}", upper_escapes(py) == out, f"{out} <> {py}")


CSV_ROWS = [
    [["a", "b", "c"], ["1", "2", "3"]],
    [["x,y", 'say "hi"', "line\nfeed", "carriage\rreturn", "both\r\n"], ["", " ", "  lead", "trail  ", '"']],
    [["", ""], ["", ""]],
    [["é", "中", "😀"], ["a\tb", "c;d", "'q'"]],
    [["only"]],
]


def python_csv(rows, **fmt):
    out = io.StringIO()
    csv.writer(out, **fmt).writerows(rows)
    return out.getvalue()


def python_rows(text, **fmt):
    return list(csv.reader(io.StringIO(text, newline=""), **fmt))


def check_csv(directory):
    # Zel reads what python writes: plain, with other delimiters and quote
    # characters, and in each of the shapes.
    cases = []
    for rows in CSV_ROWS:
        width = len(rows[0])
        columns = {h: [r[i] for r in rows[1:]] for i, h in enumerate(rows[0])}
        names = [chr(ord("A") + i) for i in range(width)]
        cases += [
            (python_csv(rows), "load-csv text", rows),
            (python_csv(rows, delimiter=";"), "load-csv/with text #\";\"", rows),
            (python_csv(rows, delimiter="\t"), "load-csv/with text tab", rows),
            (python_csv(rows, quotechar="'"), "load-csv/quote text #\"'\"", rows),
            (python_csv(rows, delimiter="|", quotechar="'"), "load-csv/with/quote text \"|\" #\"'\"", rows),
            (python_csv(rows), "load-csv/flat text", [v for r in rows for v in r]),
            (python_csv(rows), "load-csv/as-records text", [dict(zip(names, r)) for r in rows]),
            (python_csv(rows), "load-csv/as-columns text",
             {n: [r[i] for r in rows] for i, n in enumerate(names)}),
        ]
        if len(rows) > 1:
            cases.append((python_csv(rows), "load-csv/as-records/header text",
                          [dict(zip(rows[0], r)) for r in rows[1:]]))
        if len(rows) > 1 and len(set(rows[0])) == width:
            cases.append((python_csv(rows), "load-csv/header text", columns))
    cases.append(('  a  , "b c" \nd,"e"\n', "load-csv/trim text", [["a", "b c"], ["d", "e"]]))
    cases.append(("a,b\r\n1,2\r\n", "load-csv text", python_rows("a,b\r\n1,2\r\n")))
    cases.append(("a,b\r1,2", "load-csv text", python_rows("a,b\r1,2")))

    write_cases(directory, [c[0] for c in cases])
    script = "".join(
        f"""print either error? r: try [load-csv-case {i}] ["ERROR"] [to-json r]\n"""
        for i in range(len(cases)))
    functions = "".join(
        f"""case-{i}: func [text] [{c[1]}]\n""" for i, c in enumerate(cases))
    runner = f"""
dir: %{directory}/
{functions}
load-csv-case: func [i] [
    do reduce [to word! rejoin ["case-" i] read rejoin [dir pad/left/with i 4 #"0" %.in]]
]
{script}
"""
    lines = run_zel(runner, directory)
    for i, (text, expr, expected) in enumerate(cases):
        got = lines[i] if i < len(lines) else None
        ok = got not in (None, "ERROR") and json.loads(got) == expected
        check(f"csv read {expr} {text!r}", ok, got)

    # Python reads what Zel writes (CR and LF inside values included), with
    # the same delimiters and quote characters.
    formats = [("to-csv data", {}), ('to-csv/with data #";"', {"delimiter": ";"}),
               ("to-csv/with data tab", {"delimiter": "\t"}), ("to-csv/quote data #\"'\"", {"quotechar": "'"})]
    for i, rows in enumerate(CSV_ROWS):
        write_cases(directory, [json.dumps(rows)])
        for expression, fmt in formats:
            out = run_zel(f"""
data: load-json read %{directory}/0000.in
write %{directory}/out.csv {expression}
print "done"
""", directory)
            with open(os.path.join(directory, "out.csv"), encoding="utf-8", newline="") as f:
                written = f.read()
            check(f"csv write {i} {expression}", out[:1] == ["done"] and python_rows(written, **fmt) == rows,
                  repr(written))

    # Unaligned data are refused by to-csv, as an error! value.
    lines = run_zel("""
print error? to-csv [[1 2] [3]]
print error? to-csv/skip [1 2 3] 2
print error? to-csv make map! [a [1 2] b [3]]
""", directory)
    check("csv unaligned refused", lines[:3] == ["true"] * 3, lines)


def main():
    with tempfile.TemporaryDirectory(prefix="zel-codecs-") as directory:
        check_json(directory)
        check_csv(directory)
    for f in failures:
        print("FAIL", f)
    print(f"{'FAILED' if failures else 'passed'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
