#!/usr/bin/env python3
"""read-clipboard and write-clipboard against fake clipboard programs.

Fake xclip, wl-copy and wl-paste, put alone on PATH, record their arguments
and what they get on standard input, and answer what each case lays out:
the media types the clipboard holds and the contents of the one asked for.

Usage: check_clipboard.py path/to/zel
"""
import os
import struct
import subprocess
import sys
import tempfile
import zlib

ZEL = os.path.abspath(sys.argv[1])

# Records a call ("name args" and its standard input), then answers: a list
# of types when asked for one, else the contents; a status from the case.
FAKE = r"""#!/bin/sh
dir=$(/usr/bin/dirname "$0")/..
name=$(/usr/bin/basename "$0")
echo "$name $*" >> "$dir/calls"
/bin/cat > "$dir/stdin"
case "$*" in
  *--list-types*|*TARGETS*) [ -f "$dir/types" ] || exit 1; /bin/cat "$dir/types" ;;
  *-o*|*--type*) [ -f "$dir/fail-read" ] && exit 1; [ -f "$dir/data" ] && /bin/cat "$dir/data" ;;
esac
[ -f "$dir/fail-write" ] && exit 1
exit 0
"""


def run_case(root, script, programs, env_vars, types=None, data=None, fail_read=False,
             fail_write=False):
    """Runs the script with only the named fake programs on PATH; answers its
    output, the calls the programs got and the last standard input."""
    bin_dir = os.path.join(root, "bin")
    for f in os.listdir(root):
        path = os.path.join(root, f)
        if os.path.isfile(path):
            os.remove(path)
    for f in os.listdir(bin_dir):
        os.remove(os.path.join(bin_dir, f))
    for name in programs:
        path = os.path.join(bin_dir, name)
        with open(path, "w") as f:
            f.write(FAKE)
        os.chmod(path, 0o755)
    if types is not None:
        with open(os.path.join(root, "types"), "w") as f:
            f.write("".join(t + "\n" for t in types))
    if data is not None:
        with open(os.path.join(root, "data"), "wb") as f:
            f.write(data)
    for flag, name in ((fail_read, "fail-read"), (fail_write, "fail-write")):
        if flag:
            open(os.path.join(root, name), "w").close()
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env.update(env_vars)
    env["PATH"] = bin_dir
    env["HOME"] = root  # the console keeps its settings there
    script_path = os.path.join(root, "case.zel")
    with open(script_path, "w", encoding="utf-8") as f:
        f.write("Zel []\n" + script)  # the console runs scripts with a header
    done = subprocess.run([ZEL, script_path], capture_output=True, env=env, cwd=root,
                          timeout=60)
    def read(name, mode="r"):
        path = os.path.join(root, name)
        if not os.path.exists(path):
            return None
        with open(path, mode) as f:
            return f.read()
    calls = read("calls")
    return (done.stdout.decode(), calls.splitlines() if calls else [], read("stdin", "rb"))


def png(width, height, rgba):
    """An 8-bit RGBA PNG of the pixels, rows without filtering."""
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    rows = b"".join(b"\0" + bytes(rgba[y * width * 4:(y + 1) * width * 4]) for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def png_pixels(data):
    """The size and RGBA bytes of an 8-bit, non-interlaced RGB or RGBA PNG."""
    if data is None or data[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    at, idat = 8, b""
    while at < len(data):
        size, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + size]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        at += 12 + size
    if depth != 8 or colour not in (2, 6) or interlace:
        return None
    step = 4 if colour == 6 else 3
    raw, stride, out, prev = zlib.decompress(idat), width * step, b"", bytearray(width * step)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - step] if i >= step else 0
            b = prev[i]
            c = prev[i - step] if i >= step else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        prev = line
        for x in range(width):
            pixel = bytes(line[x * step:(x + 1) * step])
            out += pixel if step == 4 else pixel + b"\xff"
    return (width, height, out)


# Two pixels: 1.2.3 opaque and 4.5.6 half transparent (alpha 127, T 128).
PIXELS = [1, 2, 3, 255, 4, 5, 6, 127]
IMAGE = "make image! [2x1 #{010203040506} #{0080}]"
IMAGE_MOLD = "make image! [2x1 #{010203040506} #{\n    0080\n}]\n"


def is_image_png(data):
    got = png_pixels(data)
    return None if got == (2, 1, bytes(PIXELS)) else "PNG pixels %r" % (got,)


X11 = {"DISPLAY": ":99"}
WAYLAND = {"WAYLAND_DISPLAY": "wayland-99"}
ALL = ["xclip", "wl-copy", "wl-paste"]
TEXT_TYPE = "text/plain;charset=utf-8"

# (name, script, programs, session, fake set-up, expected output,
#  expected calls (None: not checked), expected standard input (None: not checked;
#  a function: answers what is wrong with it, or None))
CASES = [
    ("no session: read gives none", "probe read-clipboard", ALL, {}, {}, "none\n", [], None),
    ("no session: write gives false", 'probe write-clipboard "x"', ALL, {}, {}, "false\n", [], None),
    ("no program: read gives none", "probe read-clipboard", [], dict(X11, **WAYLAND), {}, "none\n", [], None),
    ("no program: write gives false", 'probe write-clipboard "x"', [], dict(X11, **WAYLAND), {},
     "false\n", [], None),
    ("wl-copy without wl-paste is no Wayland clipboard", 'probe write-clipboard "x"', ["wl-copy"],
     WAYLAND, {}, "false\n", [], None),

    ("X11: text is written as UTF-8", 'probe write-clipboard "h\u00e9llo \u20ac"', ["xclip"], X11, {},
     "true\n", ["xclip -selection clipboard -i -t UTF8_STRING"], "h\u00e9llo \u20ac".encode()),
    ("X11: files are written as a URI list",
     'probe write-clipboard reduce [%/tmp/a.txt %"/tmp/b c/\u00e9" %rel]', ["xclip"], X11, {}, "true\n",
     ["xclip -selection clipboard -i -t text/uri-list"],
     b"file:///tmp/a.txt\r\nfile:///tmp/b%20c/%C3%A9\r\nfile://{cwd}/rel\r\n"),
    ("X11: none empties the clipboard", "probe write-clipboard none", ["xclip"], X11, {}, "true\n",
     ["xclip -selection clipboard -i -t UTF8_STRING"], b""),
    ("X11: a failing program gives false", 'probe write-clipboard "x"', ["xclip"], X11,
     {"fail_write": True}, "false\n", None, None),
    ("a value of another type is not written", "probe write-clipboard 12", ["xclip"], X11, {},
     "false\n", [], None),
    ("a block holding something else than files is not written", "probe write-clipboard [%a 1]",
     ["xclip"], X11, {}, "false\n", [], None),
    ("X11: text is read", "probe read-clipboard", ["xclip"], X11,
     {"types": ["TARGETS", "UTF8_STRING", "text/uri-list"], "data": "a\u00e9\nb".encode()},
     '"a\u00e9^/b"\n',
     ["xclip -selection clipboard -o -t TARGETS", "xclip -selection clipboard -o -t UTF8_STRING"], None),
    ("X11: files are read from a URI list", "probe read-clipboard", ["xclip"], X11,
     {"types": ["TARGETS", "text/uri-list"],
      "data": b"# a comment\r\nfile:///tmp/a.txt\r\nfile://localhost/tmp/b%20c/%C3%A9\r\nhttp://h/x\r\n"},
     '[%/tmp/a.txt %"/tmp/b c/\u00e9"]\n', None, None),
    ("X11: an empty clipboard reads as none", "probe read-clipboard", ["xclip"], X11, {}, "none\n",
     ["xclip -selection clipboard -o -t TARGETS"], None),
    ("X11: no format asked for reads as none", "probe read-clipboard", ["xclip"], X11,
     {"types": ["TARGETS", "image/bmp"]}, "none\n", ["xclip -selection clipboard -o -t TARGETS"], None),
    ("X11: a failing read gives false", "probe read-clipboard", ["xclip"], X11,
     {"types": ["UTF8_STRING"], "fail_read": True}, "false\n", None, None),

    ("Wayland first: text is written", 'probe write-clipboard "t"', ALL, dict(X11, **WAYLAND), {},
     "true\n", ["wl-copy --type " + TEXT_TYPE], b"t"),
    ("Wayland: none clears", "probe write-clipboard none", ALL, WAYLAND, {}, "true\n",
     ["wl-copy --clear"], None),
    ("Wayland: text is read", "probe read-clipboard", ALL, WAYLAND,
     {"types": ["text/html", TEXT_TYPE], "data": b"web"}, '"web"\n',
     ["wl-paste --list-types", "wl-paste --no-newline --type " + TEXT_TYPE], None),
    ("X11: an image is written as PNG", "probe write-clipboard " + IMAGE, ["xclip"], X11, {},
     "true\n", ["xclip -selection clipboard -i -t image/png"], is_image_png),
    ("X11: the whole image is written, whatever its head", "probe write-clipboard next " + IMAGE,
     ["xclip"], X11, {}, "true\n", None, is_image_png),
    ("an image without pixels is refused", "print error? try [write-clipboard make image! 0x0]",
     ["xclip"], X11, {}, "true\n", [], None),
    ("X11: a PNG is read as an image", "probe read-clipboard", ["xclip"], X11,
     {"types": ["TARGETS", "image/png"], "data": png(2, 1, PIXELS)}, IMAGE_MOLD,
     ["xclip -selection clipboard -o -t TARGETS", "xclip -selection clipboard -o -t image/png"], None),
    ("X11: text is taken before an image", "probe read-clipboard", ["xclip"], X11,
     {"types": ["image/png", "UTF8_STRING"], "data": b"words"}, '"words"\n', None, None),
    ("X11: a corrupt PNG is refused", "print error? try [read-clipboard]", ["xclip"], X11,
     {"types": ["image/png"], "data": png(2, 1, PIXELS)[:40]}, "true\n", None, None),
    ("Wayland: an image is written as PNG", "probe write-clipboard " + IMAGE, ALL, WAYLAND, {},
     "true\n", ["wl-copy --type image/png"], is_image_png),
    ("Wayland: a PNG is read as an image", "probe read-clipboard", ALL, WAYLAND,
     {"types": ["image/png"], "data": png(2, 1, PIXELS)}, IMAGE_MOLD,
     ["wl-paste --list-types", "wl-paste --no-newline --type image/png"], None),
    ("Wayland: text is taken before files", "probe read-clipboard", ALL, WAYLAND,
     {"types": ["text/uri-list", "text/plain"], "data": b"plain"}, '"plain"\n',
     ["wl-paste --list-types", "wl-paste --no-newline --type text/plain"], None),
]


def main():
    failures = 0
    with tempfile.TemporaryDirectory(prefix="zel-clipboard-") as root:
        os.mkdir(os.path.join(root, "bin"))
        for name, script, programs, session, setup, out, calls, stdin in CASES:
            got_out, got_calls, got_stdin = run_case(root, script, programs, session, **setup)
            problems = []
            if callable(stdin):
                problem = stdin(got_stdin)
                if problem:
                    problems.append("input: " + problem)
                stdin = None
            elif stdin is not None:
                stdin = stdin.replace(b"{cwd}", root.encode())
            if got_out != out:
                problems.append("output %r, expected %r" % (got_out, out))
            if calls is not None and got_calls != calls:
                problems.append("calls %r, expected %r" % (got_calls, calls))
            if stdin is not None and got_stdin != stdin:
                problems.append("input %r, expected %r" % (got_stdin, stdin))
            if problems:
                failures += 1
                print("FAIL %s:\n    %s" % (name, "\n    ".join(problems)))
    print("%d passed, %d failed" % (len(CASES) - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
