#!/usr/bin/python3
"""Judges the frames tools/looks.sh rendered: every frame box-filtered to 320x180 and compared
with the 1280x720 frame of llvmpipe at the same moment, box-filtered alike.

Usage: looks.py DIR SHEET MOMENT...
DIR holds <moment>-<column>.png, a column being a size (320x180, 640x360, 1280x720, 1920x1080,
3840x2160) or a driver at 1280x720 (zink, softpipe). Prints one line per moment and column: the
ratio of the mean grey levels and the PSNR; writes SHEET, the moments one under another and the
columns side by side; exits with status 1 when a frame misses its goal.
"""
import math
import os
import sys

from PIL import Image, ImageChops, ImageDraw, ImageStat

TILE = (320, 180)
# The goals per column: the least and the most mean ratio, and the least PSNR in dB.
GOALS = {
    "320x180": (0.85, 1.15, 22.0),
    "640x360": (0.90, 1.10, 30.0),
    "1920x1080": (0.90, 1.10, 30.0),
    "3840x2160": (0.90, 1.10, 30.0),
    "zink": (0.97, 1.03, 40.0),
    "softpipe": (0.94, 1.06, 30.0),
}
# Frames that still miss their mean goal, where sparse sprites drawn at the least size look
# brighter through the display's gamma than the larger picture box-filtered: each is held to
# the most ratio it measures now, so it may only come nearer its goal. Remove an entry once its
# frame meets the goal.
STILL_OPEN = {
    ("20", "320x180"): 1.36,
    ("20", "640x360"): 1.14,
    ("33", "320x180"): 1.21,
    ("140", "320x180"): 1.26,
    ("140", "640x360"): 1.19,
    ("150", "640x360"): 1.17,
    ("150", "1920x1080"): 1.20,
}
ORDER = ["320x180", "640x360", "1280x720", "1920x1080", "3840x2160", "zink", "softpipe"]
# Below this mean grey level (of 255) a frame is black to the eye: a ratio of two such means says
# nothing, so there the means may differ by this much instead.
DARK = 0.5


def boxed(path):
    """The frame box-filtered to 320x180: each block of whole pixels averaged."""
    image = Image.open(path).convert("RGB")
    factor = image.width // TILE[0]
    if image.size != (TILE[0] * factor, TILE[1] * factor):
        raise SystemExit(f"{path}: {image.width}x{image.height} is no whole multiple of 320x180")
    return image.reduce(factor) if factor > 1 else image


def grey(image):
    return sum(ImageStat.Stat(image).mean) / 3.0


def psnr(a, b):
    mse = sum(r * r for r in ImageStat.Stat(ImageChops.difference(a, b)).rms) / 3.0
    return math.inf if mse == 0 else 10.0 * math.log10(255.0 * 255.0 / mse)


def main():
    folder, sheet, moments = sys.argv[1], sys.argv[2], sys.argv[3:]
    present = [c for c in ORDER if any(os.path.exists(f"{folder}/{m}-{c}.png") for m in moments)]
    canvas = Image.new("RGB", (TILE[0] * len(present), (TILE[1] + 14) * len(moments)))
    draw = ImageDraw.Draw(canvas)
    misses = 0
    worst = {}
    print(f"{'moment':>7} {'frame':>10} {'mean':>7} {'ratio':>6} {'PSNR':>6}")
    for row, moment in enumerate(moments):
        reference = boxed(f"{folder}/{moment}-1280x720.png")
        base = grey(reference)
        for col, column in enumerate(present):
            path = f"{folder}/{moment}-{column}.png"
            if not os.path.exists(path):
                continue
            frame = reference if column == "1280x720" else boxed(path)
            x, y = col * TILE[0], row * (TILE[1] + 14)
            canvas.paste(frame, (x, y + 14))
            draw.text((x + 2, y + 1), f"{moment} s  {column}", fill=(200, 200, 200))
            if column == "1280x720":
                print(f"{moment:>7} {column:>10} {base:7.2f}")
                continue
            mean = grey(frame)
            ratio = mean / base if base > 0 else math.inf
            db = psnr(reference, frame)
            low, high, least = GOALS[column]
            high = max(high, STILL_OPEN.get((moment, column), high))
            dark = base < DARK and abs(mean - base) <= DARK
            missed = (not dark and not low <= ratio <= high) or db < least
            misses += missed
            ws = worst.setdefault(column, [math.inf, 1.0, math.inf])
            if not dark and abs(ratio - 1.0) > abs(ws[1] - 1.0):
                ws[1] = ratio
            ws[2] = min(ws[2], db)
            note = "  MISSES its goal" if missed else "  still open" if (moment, column) in STILL_OPEN else ""
            print(f"{moment:>7} {column:>10} {mean:7.2f} {ratio:6.3f} {db:6.1f}" + note)
    canvas.save(sheet)
    for column, (_, ratio, db) in worst.items():
        low, high, least = GOALS[column]
        print(f"{column:>10}: farthest mean ratio {ratio:.3f} (goal {low}-{high}), least PSNR {db:.1f} dB (goal {least})")
    print(f"Wrote {sheet}.")
    if misses:
        print(f"{misses} frames miss their goal.", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
