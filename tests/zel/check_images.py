#!/usr/bin/env python3
"""Checks the image codecs against files python3 writes and reads itself:
BMP files of every pixel layout decode to the pixels they were written
with; images zel encodes parse back to its pixels; truncated and corrupted
files are refused with bad-media, never a crash. Given the decoders' fuzz
target (its replaying build), it runs it over every file made here and the
variants of each.

Usage: check_images.py path/to/zel [path/to/zel-image-fuzz-replay]
"""
import os
import struct
import zlib
import subprocess
import sys
import tempfile

from zel_run import output_lines

ZEL = os.path.abspath(sys.argv[1])
FUZZ = os.path.abspath(sys.argv[2]) if len(sys.argv) > 2 else None
failures = []


def check(name, ok, detail=""):
    if not ok:
        failures.append(f"{name}: {detail}")


def run_zel(script, directory):
    return output_lines(ZEL, script, directory, failures, timeout=300)


# Pixels are (r, g, b, a) with a the opacity, rows from the top.
def sample(width, height, alpha=True):
    return [[((x * 40 + y) % 256, (y * 70 + 3) % 256, (x * y * 13) % 256,
              (255 - x * 30 - y * 5) % 256 if alpha else 255)
             for x in range(width)] for y in range(height)]


def bmp(width, height, bits, rows_bytes, header=40, extra=b"", palette=b"",
        compression=0, top_down=False):
    info = struct.pack("<IiiHHIIiiII", header, width, -height if top_down else height, 1, bits,
                       compression, 0, 2835, 2835, len(palette) // 4, 0)
    info += b"\0" * (header - 40)
    head = info + extra + palette
    data = b"".join(rows_bytes if top_down else reversed(rows_bytes))
    offset = 14 + len(head)
    return b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset) + head + data


def pad(row):
    return row + b"\0" * (-len(row) % 4)


def bmp_24(px):
    rows = [pad(b"".join(bytes((b, g, r)) for r, g, b, _ in row)) for row in px]
    return bmp(len(px[0]), len(px), 24, rows)


def bmp_32_masks(px, top_down=False):
    rows = [b"".join(bytes((b, g, r, a)) for r, g, b, a in row) for row in px]
    masks = struct.pack("<IIII", 0xFF0000, 0xFF00, 0xFF, 0xFF000000)
    return bmp(len(px[0]), len(px), 32, rows, extra=masks, compression=6, top_down=top_down)


def bmp_32_wide_red(values):
    """One row of 32-bit pixels whose red channel takes all 32 bits."""
    masks = struct.pack("<III", 0xFFFFFFFF, 0, 0)
    return bmp(len(values), 1, 32, [b"".join(struct.pack("<I", v) for v in values)], extra=masks, compression=3)


def bmp_16(px):
    rows = [pad(b"".join(struct.pack("<H", (r >> 3) << 10 | (g >> 3) << 5 | b >> 3)
                         for r, g, b, _ in row)) for row in px]
    return bmp(len(px[0]), len(px), 16, rows)


def bmp_paletted(px, bits):
    colours = sorted({p[:3] for row in px for p in row})
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in colours)
    rows = []
    for row in px:
        value, count = 0, 0
        for p in row:
            value = value << bits | colours.index(p[:3])
            count += bits
        value <<= -count % 8
        rows.append(pad(value.to_bytes((count + 7) // 8, "big")))
    return bmp(len(px[0]), len(px), bits, rows, palette=palette)


def quantise16(px):
    return [[((r >> 3) * 255 // 31, (g >> 3) * 255 // 31, (b >> 3) * 255 // 31, a) for r, g, b, a in row]
            for row in px]


def opaque(px):
    return [[(r, g, b, 255) for r, g, b, _ in row] for row in px]


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png(px, colour_type, extra=b"", rows=None):
    """colour type 6 RGBA, 2 RGB, 0 grey (from red), 3 palette (rows given)."""
    width, height = len(px[0]), len(px)
    if rows is None:
        pick = {6: lambda p: bytes(p), 2: lambda p: bytes(p[:3]), 0: lambda p: bytes(p[:1])}[colour_type]
        rows = [b"".join(pick(p) for p in row) for row in px]
    raw = b"".join(b"\0" + r for r in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) + extra
            + png_chunk(b"IDAT", zlib.compress(raw)) + png_chunk(b"IEND", b""))


def png_paletted(px):
    colours = sorted({p for row in px for p in row})
    palette = png_chunk(b"PLTE", b"".join(bytes(c[:3]) for c in colours))
    palette += png_chunk(b"tRNS", bytes(c[3] for c in colours))
    rows = [bytes(colours.index(p) for p in row) for row in px]
    return png(px, 3, palette, rows)


def parse_png(data):
    """Reads an 8-bit RGBA or RGB PNG, undoing every row filter."""
    at, idat, header = 8, b"", None
    while at < len(data):
        size, = struct.unpack_from(">I", data, at)
        kind, body = data[at + 4:at + 8], data[at + 8:at + 8 + size]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        at += 12 + size
    width, height, depth, colour_type = header[:4]
    channels = {6: 4, 2: 3}[colour_type]
    raw, stride, rows, prior = zlib.decompress(idat), width * channels, [], bytearray(width * channels)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b, c = prior[i], prior[i - channels] if i >= channels else 0
            paeth = min((abs(b - c), a), (abs(a - c), b), (abs(a + b - 2 * c), c))[1] if kind == 4 else 0
            line[i] = (line[i] + [0, a, b, (a + b) // 2, paeth][kind]) % 256
        rows.append([tuple(line[x * channels:(x + 1) * channels]) + ((255,) if channels == 3 else ())
                     for x in range(width)])
        prior = line
    return rows


def gif(px, interlace=False):
    """First frame of the pixels over a 2-pixel-wider screen, colours through
    a palette, alpha 0 through the transparent index; the codes are literals
    (a clear code before the table would widen them)."""
    width, height = len(px[0]), len(px)
    colours = sorted({p[:3] for row in px for p in row if p[3]})
    transparent = len(colours)
    palette = b"".join(bytes(c) for c in colours) + b"\0" * 3 * (256 - len(colours))
    index = [[colours.index(p[:3]) if p[3] else transparent for p in row] for row in px]
    order = list(range(height))
    if interlace:
        order = [y for start, step in ((0, 8), (4, 8), (2, 4), (1, 2)) for y in range(start, height, step)]
    codes, bits, count = [256], 0, 0
    for y in order:
        for i in index[y]:
            if count == 250:
                codes.append(256)
                count = 0
            codes.append(i)
            count += 1
    codes.append(257)
    value = 0
    for n, code in enumerate(codes):
        value |= code << (9 * n)
    data = value.to_bytes((9 * len(codes) + 7) // 8, "little")
    blocks = b"".join(bytes([len(data[i:i + 255])]) + data[i:i + 255] for i in range(0, len(data), 255)) + b"\0"
    control = b"\x21\xf9\x04\x01\0\0" + bytes([transparent]) + b"\0"
    frame = b"\x2c" + struct.pack("<HHHHB", 1, 0, width, height, 0x40 if interlace else 0) + b"\x08" + blocks
    return (b"GIF89a" + struct.pack("<HHBBB", width + 2, height, 0xF7, 0, 0) + palette + control + frame + b";")


def on_screen(px):
    """The frame at 1,0 over a transparent screen two pixels wider."""
    clear = (0, 0, 0, 0)
    return [[clear] + [p if p[3] else clear for p in row] + [clear] for row in px]


def tiff(px, samples, big_endian=False):
    """One uncompressed strip after the directory: 3 samples RGB, 4 RGB with
    unassociated alpha, 1 grey (from red)."""
    e = ">" if big_endian else "<"
    width, height = len(px[0]), len(px)
    data = bytes(v for row in px for p in row for v in (p[:1] if samples == 1 else p[:samples]))
    count = 11 if samples == 4 else 10
    offset = 8 + 2 + 12 * count + 4
    entries = [(256, 3, width), (257, 3, height), (258, 3, 8), (259, 3, 1), (262, 3, 1 if samples == 1 else 2),
               (273, 4, offset), (277, 3, samples), (278, 3, height), (279, 4, len(data)), (284, 3, 1)]
    if samples == 4:
        entries.append((338, 3, 2))
    entries.sort()
    ifd = struct.pack(e + "H", len(entries))
    for tag, kind, value in entries:
        kind = 4 if value > 0xFFFF else kind  # a side too wide for a SHORT
        packed = struct.pack(e + "H", value) + b"\0\0" if kind == 3 else struct.pack(e + "I", value)
        ifd += struct.pack(e + "HHI", tag, kind, 1) + packed
    ifd += struct.pack(e + "I", 0)
    head = (b"MM\0*" if big_endian else b"II*\0") + struct.pack(e + "I", 8)
    return head + ifd + data


def ppm(px):
    return (f"P6 {len(px[0])} {len(px)} 255\n".encode()
            + bytes(v for row in px for r, g, b, _ in row for v in (r, g, b)))


def parse_ppm(data):
    fields, at = [], 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    width, height, at = int(fields[1]), int(fields[2]), at + 1
    return [[tuple(data[at + 3 * (y * width + x):at + 3 * (y * width + x) + 3]) + (255,)
             for x in range(width)] for y in range(height)]


def jpeg_tool(tool, data, *options):
    return subprocess.run([tool, *options], input=data, capture_output=True, check=True).stdout


def largest_difference(a, b):
    return max(abs(p - q) for ra, rb in zip(a, b) for pa, pb in zip(ra, rb) for p, q in zip(pa, pb))


def argb_hex(px):
    """The argb plane zel answers: B G R A for every pixel."""
    return "".join(f"{b:02X}{g:02X}{r:02X}{a:02X}" for row in px for r, g, b, a in row)


def parse_bmp_32(data):
    """Reads the 32-bit masked BMP zel writes."""
    offset, = struct.unpack_from("<I", data, 10)
    header, width, height, _, bits, compression = struct.unpack_from("<IiiHHI", data, 14)
    check("written header", (header, bits, compression) == (108, 32, 3), (header, bits, compression))
    masks = struct.unpack_from("<IIII", data, 54)
    check("written masks", masks == (0xFF0000, 0xFF00, 0xFF, 0xFF000000), masks)
    rows = []
    for y in range(abs(height)):
        at = offset + y * width * 4
        rows.append([(data[at + 4 * x + 2], data[at + 4 * x + 1], data[at + 4 * x], data[at + 4 * x + 3])
                     for x in range(width)])
    return rows[::-1] if height > 0 else rows


def main():
    with tempfile.TemporaryDirectory() as d:
        px = sample(5, 3)
        two = [[(0, 0, 0, 255), (255, 255, 255, 255), (255, 255, 255, 255)],
               [(255, 255, 255, 255), (0, 0, 0, 255), (0, 0, 0, 255)]]
        sixteen = [[((x * 17) % 256, (y * 85) % 256, 0, 255) for x in range(7)] for y in range(3)]
        few = [[((x * 51) % 256, (y * 85) % 256, 9, 255) for x in range(5)] for y in range(3)]
        few_alpha = [[(x * 60, 9, y * 100, 255 - x * 50) for x in range(4)] for y in range(2)]
        binary_alpha = [[(x * 60, 9, y * 100, 0 if (x + y) % 3 == 0 else 255) for x in range(4)] for y in range(2)]
        tall = [[(x * 60, y * 20, 7, 255) for x in range(3)] for y in range(11)]
        cases = {
            "24-bit": (bmp_24(px), opaque(px)),
            "32-bit masked": (bmp_32_masks(px), px),
            "32-bit top-down": (bmp_32_masks(px, top_down=True), px),
            "16-bit": (bmp_16(px), quantise16(opaque(px))),
            "32-bit wide red mask": (bmp_32_wide_red([0xFFFFFFFF, 0, 0x7FFFFFFF]),
                                     [[(255, 0, 0, 255), (0, 0, 0, 255), (127, 0, 0, 255)]]),
            "8-bit palette": (bmp_paletted(sixteen, 8), sixteen),
            "4-bit palette": (bmp_paletted(few, 4), few),
            "1-bit palette": (bmp_paletted(two, 1), two),
            "index past the palette": (bmp_paletted([[(0, 0, 0, 255)] * 3], 1)[:-4] + bytes([0b10100000, 0, 0, 0]),
                                       [[(0, 0, 0, 255), (0, 0, 0, 255), (0, 0, 0, 255)]]),
            "png rgba": (png(px, 6), px),
            "png rgb": (png(px, 2), opaque(px)),
            "png grey": (png(px, 0), [[(r, r, r, 255) for r, _, _, _ in row] for row in px]),
            "png palette": (png_paletted(few_alpha), few_alpha),
            "gif": (gif(binary_alpha), on_screen(binary_alpha)),
            "gif interlaced": (gif(tall, True), on_screen(tall)),
            "tif rgb": (tiff(px, 3), opaque(px)),
            "tif rgba": (tiff(px, 4), px),
            "tif grey big-endian": (tiff(px, 1, True), [[(r, r, r, 255) for r, _, _, _ in row] for row in px]),
        }
        script = []
        for i, (name, (data, _)) in enumerate(cases.items()):
            suffix = name[:3] if name[:3] in ("png", "gif", "tif") else "bmp"
            with open(os.path.join(d, f"c{i}.{suffix}"), "wb") as f:
                f.write(data)
            script.append(f"i: load %c{i}.{suffix} print [i/size enbase/base i/argb 16]")
        # Round trip: zel's own BMP of the alpha sample, read back by python.
        with open(os.path.join(d, "argb.bin"), "wb") as f:
            f.write(bytes(v for row in px for r, g, b, a in row for v in (b, g, r, a)))
        script.append("i: make image! 5x3 i/argb: read/binary %argb.bin save %out.bmp i")
        script.append("print equal? i load %out.bmp")
        script.append("save %out.png i print equal? i load %out.png")
        # JPEG: a smooth picture, as the reference tools write and read it.
        smooth = [[(x * 16, y * 16, 128, 255) for x in range(16)] for y in range(16)]
        with open(os.path.join(d, "smooth.jpg"), "wb") as f:
            f.write(jpeg_tool("cjpeg", ppm(smooth), "-quality", "95"))
        with open(os.path.join(d, "smooth.bin"), "wb") as f:
            f.write(bytes(v for row in smooth for r, g, b, a in row for v in (b, g, r, a)))
        script.append("i: load %smooth.jpg print [i/size enbase/base i/argb 16]")
        script.append("i: make image! 16x16 i/argb: read/binary %smooth.bin save %out.jpg i")
        script.append("i: load %out.png j: copy i j/alpha: 0 save %out.gif j print equal? j load %out.gif")
        script.append("j/alpha: #{00FF00} save %clear.gif j k: load %clear.gif print equal? j/alpha k/alpha")
        script.append("save %out.tif i print equal? i load %out.tif")
        # Every truncation and a sweep of single-byte corruptions of one file.
        # each file, and the length of its signature
        with open(os.path.join(d, "smooth.jpg"), "rb") as f:
            sweeps = [(cases["8-bit palette"][0], 2), (cases["png rgba"][0], 4), (f.read(), 3), (cases["gif"][0], 6),
                      (cases["tif rgba"][0], 4)]
        for k, (base, _) in enumerate(sweeps):
            with open(os.path.join(d, f"base{k}.bin"), "wb") as f:
                f.write(base)
            script.append(f"base: read/binary %base{k}.bin")
            script.append("""
            ; shorter than the signature: not an image at all, none
            refused: 0 unknown: 0 other: 0
            repeat n (length? base) - 1 [
                e: try [load/as copy/part base n 'bmp]
                case [
                    none? e [unknown: unknown + 1]
                    all [error? e e/id = 'bad-media] [refused: refused + 1]
                    true [other: other + 1]
                ]
            ]
            print [unknown refused other]
            repeat n length? base [
                b: copy base
                foreach v [0 255 128] [poke b n v attempt [load/as b 'bmp]]
            ]
            print "survived"
        """)
        # A file that fails after its pixels were asked for names the file.
        damaged = bytearray(png(px, 6))
        damaged[damaged.index(b"IDAT") + 6] ^= 0xFF
        with open(os.path.join(d, "damaged.png"), "wb") as f:
            f.write(damaged)
        script.append("e: try [load %damaged.png] print [e/id mold e/arg1]")
        # Whole files of a side above 65,535: refused, not wrapped.
        wide = [[(1, 2, 3, 255)] * 65536]
        too_large = [png(wide, 2), bmp_24(wide), tiff(wide, 3), png([[p] for p in wide[0]], 2)]
        for k, data in enumerate(too_large):
            with open(os.path.join(d, f"large{k}.bin"), "wb") as f:
                f.write(data)
        script.append(f"ids: copy [] repeat k {len(too_large)} ["
                      "e: try [load/as read/binary to file! rejoin [%large k - 1 %.bin] 'png] append ids e/id] print mold ids")
        lines = run_zel("\n".join(script) + "\n", d)
        if not lines:
            return
        for i, (name, (_, expected)) in enumerate(cases.items()):
            want = f"{len(expected[0])}x{len(expected)} {argb_hex(expected)}"
            got = lines[i].replace("#{", "").replace("}", "")
            check(name, got == want, f"{got} != {want}")
        n = len(cases)
        check("bmp round trip in zel", lines[n] == "true", lines[n])
        check("png round trip in zel", lines[n + 1] == "true", lines[n + 1])
        with open(os.path.join(d, "out.bmp"), "rb") as f:
            check("bmp written", parse_bmp_32(f.read()) == [list(r) for r in px], "pixels differ")
        with open(os.path.join(d, "out.png"), "rb") as f:
            check("png written", parse_png(f.read()) == [list(r) for r in px], "pixels differ")
        with open(os.path.join(d, "smooth.jpg"), "rb") as f:
            reference = parse_ppm(jpeg_tool("djpeg", f.read()))
        got = lines[n + 2].replace("#{", "").replace("}", "").split(" ")
        check("jpeg size", got[0] == "16x16", got[0])
        pixels = bytes.fromhex(got[1])
        decoded = [[(pixels[4 * (y * 16 + x) + 2], pixels[4 * (y * 16 + x) + 1], pixels[4 * (y * 16 + x)],
                     pixels[4 * (y * 16 + x) + 3]) for x in range(16)] for y in range(16)]
        check("jpeg decoded as the reference", largest_difference(decoded, reference) <= 1, "pixels differ")
        with open(os.path.join(d, "out.jpg"), "rb") as f:
            written = parse_ppm(jpeg_tool("djpeg", f.read()))
        check("jpeg written", largest_difference(written, smooth) <= 24,
              largest_difference(written, smooth))
        check("gif round trip in zel", lines[n + 3] == "true", lines[n + 3])
        check("gif transparency in zel", lines[n + 4] == "true", lines[n + 4])
        with open(os.path.join(d, "out.gif"), "rb") as f:
            written = f.read()
        check("gif written", written[:6] == b"GIF89a" and struct.unpack_from("<HH", written, 6) == (5, 3)
              and written[-1:] == b";", written[:10])
        check("tiff round trip in zel", lines[n + 5] == "true", lines[n + 5])
        with open(os.path.join(d, "out.tif"), "rb") as f:
            check("tiff written", f.read(4) == b"II*\0", "signature")
        at = n + 6
        for k, (base, signature) in enumerate(sweeps):
            want = f"{signature - 1} {len(base) - signature} 0"
            check(f"truncations refused {k}", lines[at] == want, f"{lines[at]} != {want}")
            check(f"corruptions survived {k}", lines[at + 1] == "survived", lines[at + 1])
            at += 2
        check("damaged file named", lines[at] == "cannot-open %damaged.png", lines[at])
        want = "[" + " ".join(["bad-media"] * len(too_large)) + "]"
        check("sides above 65,535 refused", lines[at + 1] == want, lines[at + 1])
        if FUZZ:
            replay(d)


def replay(directory):
    """The fuzz target over every image file of the folder: the inputs and
    the files zel wrote."""
    seeds = sorted(os.path.join(directory, f) for f in os.listdir(directory)
                   if f.rsplit(".", 1)[-1] in ("bmp", "png", "jpg", "gif", "tif"))
    done = subprocess.run([FUZZ, *seeds], capture_output=True, timeout=600)
    check("fuzz target replayed", done.returncode == 0 and done.stdout.endswith(b" inputs\n"),
          f"status {done.returncode}: {done.stdout.decode()} {done.stderr.decode()[-2000:]}")


main()
if failures:
    print("\n".join(failures))
    sys.exit(1)
print("images: all checks passed")
