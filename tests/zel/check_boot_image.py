#!/usr/bin/env python3
"""Runs copies of `zel` whose embedded boot image is damaged: start-up must
refuse the image with a clear report and a failing status, never run a script
on a half-loaded system.

Usage: check_boot_image.py path/to/zel
"""
import os
import subprocess
import sys
import tempfile

ZEL = sys.argv[1]
MAGIC = b"ZELBIN\x01\x05"


def varint(data, at):
    value, shift = 0, 0
    while True:
        b = data[at]
        at += 1
        value |= (b & 0x7F) << shift
        shift += 7
        if not b & 0x80:
            return value, at


def payload_start(data, at):
    """The first payload byte of the compact stream at `at`."""
    _, p = varint(data, at + 8)          # record count
    _, p = varint(data, p)               # payload length
    count, p = varint(data, p)
    names, p = varint(data, p)
    return p + 4 * count + names


def damaged(program, at, patch):
    data = bytearray(program)
    data[at:at + len(patch)] = patch
    return bytes(data)


def main():
    with open(ZEL, "rb") as f:
        program = f.read()
    at = program.find(MAGIC)
    if at < 0 or program.find(MAGIC, at + 1) >= 0:
        print("FAIL: the program does not embed exactly one boot image")
        return 1
    first = payload_start(program, at)
    cases = [
        # (name, patched program, expected stdout start, expected status)
        ("bad magic", damaged(program, at, b"ZELBIX"), b"Error: Not a Zelbin file!\n", 1),
        ("corrupted record", damaged(program, first, b"\xc5"),
         b"*** Start-up error in the boot image\n*** Script Error: ZELBIN - invalid record at index", 254),
        ("packed image that does not unpack", damaged(program, at + 7, b"\x07"),
         b"Error: Zelbin compressed data corrupted!\n", 1),
    ]
    failures = 0
    with tempfile.TemporaryDirectory() as tmp:
        script = os.path.join(tmp, "s.zel")
        with open(script, "w") as f:
            f.write('print "ran"\n')
        for name, data, want, status in cases:
            copy = os.path.join(tmp, "zel")
            with open(copy, "wb") as f:
                f.write(data)
            os.chmod(copy, 0o755)
            done = subprocess.run([copy, script], capture_output=True, timeout=60)
            if not done.stdout.startswith(want) or done.returncode != status or b"ran" in done.stdout:
                print("FAIL %s: status %d, output %r" % (name, done.returncode, done.stdout[:300]))
                failures += 1
    print("%d cases, %d failed" % (len(cases), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
