#!/usr/bin/env python3
"""Reads screenshots for the window tests. Images come in as binary PPM (P6),
which ImageMagick's convert writes ("convert shot.png shot.ppm").

  ui_pixels.py pixel SHOT X Y                 -> rrggbb
  ui_pixels.py count SHOT X Y W H RRGGBB      -> pixels of exactly that colour
  ui_pixels.py badges SHOT X Y W H            -> one letter per badge, top to bottom:
                                                 R (red, cross) or G (green, check)
  ui_pixels.py longest-blue-run SHOT X Y W H  -> longest horizontal run of link blue
  ui_pixels.py differing A AX AY B BX BY W H  -> pixels that differ between two regions
"""

import sys


def load(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = []
    pos = 0
    while len(fields) < 4:  # magic, width, height, maxval
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    if fields[0] != b"P6" or fields[3] != b"255":
        sys.exit(f"ui_pixels: {path} is not an 8-bit binary PPM")
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[pos + 1:]


class Image:
    def __init__(self, path):
        self.width, self.height, self.data = load(path)

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])


def reddish(c):
    return c[0] > 180 and c[1] < 80 and c[2] < 80


def greenish(c):
    return c[1] > 130 and c[0] < 80 and c[2] < 110


def link_blue(c):
    return c[0] < 80 and c[1] < 80 and c[2] > 180


def coloured(c):
    """Neither black, white nor a grey: a hue of its own."""
    return max(c) - min(c) > 40


def badges(img, x, y, w, h):
    """Rows of the strip with at least 6 badge-coloured pixels, grouped into runs of
    at least 12 rows: one run per badge."""
    letters = []
    run_letter, run_length = None, 0
    for row in range(y, y + h):
        red = sum(reddish(img.at(col, row)) for col in range(x, x + w))
        green = sum(greenish(img.at(col, row)) for col in range(x, x + w))
        letter = "R" if red >= 6 and red > green else "G" if green >= 6 else None
        if letter == run_letter:
            run_length += 1
            continue
        if run_letter and run_length >= 12:
            letters.append(run_letter)
        run_letter, run_length = letter, 1
    if run_letter and run_length >= 12:
        letters.append(run_letter)
    return "".join(letters)


def longest_blue_run(img, x, y, w, h):
    best = 0
    for row in range(y, y + h):
        run = 0
        for col in range(x, x + w):
            run = run + 1 if link_blue(img.at(col, row)) else 0
            best = max(best, run)
    return best


def main(argv):
    command, args = argv[1], argv[2:]
    if command == "pixel":
        img = Image(args[0])
        print("%02x%02x%02x" % img.at(int(args[1]), int(args[2])))
    elif command == "count":
        img = Image(args[0])
        x, y, w, h = map(int, args[1:5])
        want = tuple(bytes.fromhex(args[5]))
        print(sum(img.at(c, r) == want for r in range(y, y + h) for c in range(x, x + w)))
    elif command == "coloured":
        img = Image(args[0])
        x, y, w, h = map(int, args[1:5])
        print(sum(coloured(img.at(c, r)) for r in range(y, y + h) for c in range(x, x + w)))
    elif command == "badges":
        img = Image(args[0])
        print(badges(img, *map(int, args[1:5])))
    elif command == "longest-blue-run":
        img = Image(args[0])
        print(longest_blue_run(img, *map(int, args[1:5])))
    elif command == "differing":
        a, b = Image(args[0]), Image(args[3])
        ax, ay, bx, by, w, h = map(int, args[1:3] + args[4:8])
        print(sum(a.at(ax + c, ay + r) != b.at(bx + c, by + r) for r in range(h) for c in range(w)))
    else:
        sys.exit(f"ui_pixels: unknown command {command}")


if __name__ == "__main__":
    main(sys.argv)
