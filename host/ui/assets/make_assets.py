#!/usr/bin/env python3
"""Remakes the binary assets of the host's resources in this folder.

    korvane.ico        program icon: a processor chip, one 48 x 45 32-bit image
    state_images.bmp   the detail list's two 32 x 32 state images side by side:
                       red badge with a white cross, green badge with a white check
    about.png          714 x 380 RGBA screenshot of the (invented) Kestrin console

The icon and the state images need only the Python standard library; the About
picture is drawn by ImageMagick's convert with the WenQuanYi Micro Hei font
(Debian packages imagemagick and fonts-wqy-microhei). Every name in the picture
is made up. Output is byte-for-byte reproducible with the same tool versions.

Usage: make_assets.py [OUTPUT_DIR]   (default: the folder of this script)
"""

import math
import os
import struct
import subprocess
import sys

FONT = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"


# --- shared raster helpers ---------------------------------------------------

class Canvas:
    """Straight-alpha RGBA pixels, top-down, with anti-aliased shapes by supersampling."""

    def __init__(self, width, height, rgba=(0, 0, 0, 0)):
        self.width = width
        self.height = height
        self.px = [list(rgba) for _ in range(width * height)]

    def blend(self, x, y, rgb, coverage):
        if coverage <= 0 or not (0 <= x < self.width and 0 <= y < self.height):
            return
        p = self.px[y * self.width + x]
        a_src = coverage
        a_dst = p[3] / 255.0
        a_out = a_src + a_dst * (1 - a_src)
        for i in range(3):
            p[i] = round((rgb[i] * a_src + p[i] * a_dst * (1 - a_src)) / a_out) if a_out else 0
        p[3] = round(a_out * 255)

    def shape(self, inside, rgb, box=None, samples=4):
        """Paints every pixel by the share of its sub-samples for which inside(x, y) holds."""
        x0, y0, x1, y1 = box or (0, 0, self.width, self.height)
        step = 1.0 / samples
        for y in range(y0, y1):
            for x in range(x0, x1):
                hits = 0
                for sy in range(samples):
                    for sx in range(samples):
                        if inside(x + (sx + 0.5) * step, y + (sy + 0.5) * step):
                            hits += 1
                self.blend(x, y, rgb, hits / (samples * samples))

    def rect(self, x0, y0, x1, y1, rgb):
        self.shape(lambda x, y: x0 <= x < x1 and y0 <= y < y1, rgb,
                   (max(0, math.floor(x0)), max(0, math.floor(y0)),
                    min(self.width, math.ceil(x1)), min(self.height, math.ceil(y1))))

    def bgra_rows_bottom_up(self):
        out = bytearray()
        for y in reversed(range(self.height)):
            for x in range(self.width):
                r, g, b, a = self.px[y * self.width + x]
                out += bytes((b, g, r, a))
        return bytes(out)


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def bitmap_info_header(width, height):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 32, 0, 0, 0, 0, 0, 0)


# --- program icon ------------------------------------------------------------

def chip_icon():
    w, h = 48, 45
    c = Canvas(w, h)
    pin = (128, 134, 146)
    # Eight pins per side, from the package out to the image edge.
    body_x0, body_y0, body_x1, body_y1 = 7, 6, 41, 39
    for i in range(8):
        px = body_x0 + 3 + i * 4
        c.rect(px, 0.5, px + 2, body_y0 + 1, pin)
        c.rect(px, body_y1 - 1, px + 2, h - 0.5, pin)
        py = body_y0 + 2.5 + i * 4
        c.rect(0.5, py, body_x0 + 1, py + 2, pin)
        c.rect(body_x1 - 1, py, w - 0.5, py + 2, pin)
    c.rect(body_x0, body_y0, body_x1, body_y1, (18, 96, 48))          # package edge
    c.rect(body_x0 + 1, body_y0 + 1, body_x1 - 1, body_y1 - 1, (34, 150, 72))
    c.rect(body_x0 + 2.5, body_y0 + 2.5, body_x0 + 5, body_y0 + 5, (230, 230, 230))  # pin-1 mark
    c.rect(15, 14, 33, 31, (92, 96, 104))                              # die
    c.rect(16, 15, 32, 30, (168, 172, 178))
    c.rect(18, 17, 30, 28, (140, 144, 150))

    xor = c.bgra_rows_bottom_up()
    mask_stride = ((w + 31) // 32) * 4
    mask = bytearray()
    for y in reversed(range(h)):
        row = bytearray(mask_stride)
        for x in range(w):
            if c.px[y * w + x][3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    image = bitmap_info_header(w, h * 2) + xor + bytes(mask)
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w, h, 0, 0, 1, 32, len(image), 6 + 16)
    return header + entry + image


# --- state images --------------------------------------------------------------

def badge(cross):
    c = Canvas(32, 32, (255, 255, 255, 255))
    colour = (214, 38, 38) if cross else (38, 160, 64)
    c.shape(lambda x, y: math.hypot(x - 16, y - 16) <= 14.5, colour)
    white = (255, 255, 255)
    if cross:
        c.shape(lambda x, y: min(segment_distance(x, y, 10, 10, 22, 22),
                                 segment_distance(x, y, 22, 10, 10, 22)) <= 2.0, white)
    else:
        c.shape(lambda x, y: min(segment_distance(x, y, 8.5, 16.5, 13.5, 22),
                                 segment_distance(x, y, 13.5, 22, 23.5, 10)) <= 2.0, white)
    return c


def state_images():
    """One 64 x 32 strip, image 0 (cross) left of image 1 (check): ImageList_Add splits it."""
    images = [badge(cross=True), badge(cross=False)]
    pixels = bytearray()
    for y in reversed(range(32)):
        for img in images:
            for x in range(32):
                r, g, b, _ = img.px[y * 32 + x]
                pixels += bytes((b, g, r, 255))
    info = bitmap_info_header(64, 32)
    offset = 14 + len(info)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return file_header + info + bytes(pixels)


# --- About picture ---------------------------------------------------------------

COLUMNS = [  # title, left edge
    ("计算机名", 6), ("操作系统", 92), ("分辨率", 206), ("显示器", 278),
    ("主板", 360), ("内存", 454), ("CPU", 500),
]
CPU_RIGHT = 707

ROWS = [  # computer, system, resolution, monitor, board, memory, VT on, processor
    ("CAIWU-01", "Fenestra 10 专业版", "1920x1080", "Vireo V24", "Halden HX-310", "8 GB", True,
     "Corvex K5-7400 3.0GHz"),
    ("CAIWU-02", "Fenestra 10 专业版", "1920x1080", "Vireo V24", "Halden HX-310", "8 GB", False,
     "Corvex K5-7400 3.0GHz"),
    ("RENSHI-PC", "Fenestra 7 旗舰版", "1600x900", "Lumatek L20", "Ostrava Q77M", "4 GB", False,
     "Corvex K3-3220 3.3GHz"),
    ("SHEJI-03", "Fenestra 11 专业版", "2560x1440", "Vireo V27Q", "Tarvik Z-590", "32 GB", True,
     "Corvex K7-11700 2.5GHz"),
    ("QIANTAI", "Fenestra 10 家庭版", "1366x768", "Lumatek L19", "Ostrava H61E", "4 GB", False,
     "Nimbra N2-6400 2.1GHz"),
    ("KUFANG-PC", "Fenestra 10 专业版", "1920x1080", "Sanvo S22", "Halden HA-520", "16 GB", True,
     "Nimbra Rho 5 3600 3.6GHz"),
    ("JINGLI-01", "Fenestra 11 专业版", "2560x1440", "Vireo V27Q", "Tarvik Z-690", "32 GB", True,
     "Corvex K9-12900 2.4GHz"),
    ("XIAOSHOU-2", "Fenestra 10 专业版", "1920x1080", "Sanvo S24", "Halden HX-310", "8 GB", False,
     "Corvex K5-8400 2.8GHz"),
    ("CANGKU", "Fenestra 7 专业版", "1440x900", "Lumatek L19", "Ostrava G41T", "2 GB", False,
     "Nimbra N1-5000 2.6GHz"),
    ("YANFA-07", "Fenestra 11 专业版", "3840x2160", "Vireo V32U", "Tarvik X-570", "64 GB", True,
     "Nimbra Rho 9 5950 3.4GHz"),
    ("YANFA-08", "Fenestra 11 专业版", "3840x2160", "Vireo V32U", "Tarvik X-570", "64 GB", True,
     "Nimbra Rho 9 5950 3.4GHz"),
    ("CESHI-PC", "Fenestra 10 企业版", "1920x1200", "Sanvo S24W", "Halden HA-520", "16 GB", False,
     "Corvex K5-9500 3.0GHz"),
]


def mvg_text(x, y, text, colour="#1a1a1a", size=12):
    escaped = text.replace("\\", "\\\\").replace("'", "\\'")
    return f"fill '{colour}' font-size {size} text {x},{y} '{escaped}'"


def about_mvg():
    d = ["stroke-antialias 1", "text-antialias 1", "stroke none"]
    add = d.append
    # Title bar and menu of the console window.
    add("fill '#2b4f81' rectangle 0,0 713,23")
    add(mvg_text(28, 16, "Kestrin 集中管理控制台 - 日志查看器", "#ffffff"))
    add("fill '#f2c14e' rectangle 8,6 19,17")
    add("fill '#ffffff' rectangle 11,9 16,14")
    for i, label in enumerate(["—", "□", "×"]):
        add(mvg_text(650 + i * 22, 16, label, "#ffffff"))
    add("fill '#e9edf3' rectangle 0,24 713,45")
    for i, label in enumerate(["刷新", "导出", "筛选", "批量检测", "设置"]):
        x = 8 + i * 64
        add("fill '#ffffff' stroke '#aab4c3' rectangle %d,27 %d,42" % (x, x + 58))
        add("stroke none")
        add(mvg_text(x + 8, 39, label))
    # Tabs: the hardware-configuration tab is the open one.
    add("fill '#f7f7f7' rectangle 0,46 713,379")
    tabs = ["登录日志", "软件变更", "硬件配置", "网络流量", "U盘记录"]
    for i, label in enumerate(tabs):
        x = 6 + i * 86
        active = label == "硬件配置"
        add("fill '%s' stroke '#9aa6b8' rectangle %d,%d %d,70"
            % ("#ffffff" if active else "#dde3ec", x, 48 if active else 51, x + 82))
        add("stroke none")
        add(mvg_text(x + 14, 65, label, "#000000" if active else "#4a4a4a"))
    add("fill '#ffffff' stroke '#9aa6b8' rectangle 2,70 711,377")
    add("stroke none")
    # Table header.
    top = 74
    add("fill '#e4e8ef' rectangle 4,%d 709,%d" % (top, top + 20))
    for title, left in COLUMNS:
        add(mvg_text(left + 4, top + 15, title, "#000000"))
        add("fill '#b9c2cf' rectangle %d,%d %d,%d" % (left, top, left, top + 20))
    # Rows, one computer each.
    row_h = 22
    for r, (name, system, res, monitor, board, memory, vt_on, cpu) in enumerate(ROWS):
        y = top + 21 + r * row_h
        if r % 2:
            add("fill '#f3f6fa' rectangle 4,%d 709,%d" % (y, y + row_h - 1))
        add("fill '#e1e5eb' rectangle 4,%d 709,%d" % (y + row_h - 1, y + row_h - 1))
        base = y + 15
        for text, (_, left) in zip((name, system, res, monitor, board, memory), COLUMNS):
            add(mvg_text(left + 4, base, text))
        mark, colour = ("VT开", "#1e8e3e") if vt_on else ("VT关", "#d12b2b")
        add("fill '%s' rectangle %d,%d %d,%d" % (colour, 504, y + 3, 533, y + 18))
        add(mvg_text(506, base, mark, "#ffffff", 11))
        add(mvg_text(538, base, cpu))
    # The CPU column, outlined in red.
    add("fill none stroke '#e00000' stroke-width 2 rectangle 499,%d %d,%d"
        % (top - 1, CPU_RIGHT, top + 21 + len(ROWS) * row_h))
    return "\n".join(d) + "\n"


def about_png(path):
    # The drawing goes in as an argument: Debian's ImageMagick policy forbids "@file".
    subprocess.run(["convert", "-size", "714x380", "xc:#f7f7f7", "-font", FONT,
                    "-draw", about_mvg(), "-strip",
                    "-define", "png:exclude-chunks=date,time",
                    "PNG32:" + path], check=True)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(out, "korvane.ico"), "wb") as f:
        f.write(chip_icon())
    with open(os.path.join(out, "state_images.bmp"), "wb") as f:
        f.write(state_images())
    about_png(os.path.join(out, "about.png"))


if __name__ == "__main__":
    main()
