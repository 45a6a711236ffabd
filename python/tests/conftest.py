"""Shared by the Python suites: the program the module is compared with, and
generated drawings (strokes, rings and boxes on a white page) as arrays and
as files."""

import os
import subprocess

import numpy as np
import pytest

PROGRAM = os.environ.get("KTVEC_PROGRAM", "build/ktvec")
SOURCE_DIR = os.environ.get("KTVEC_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
SAMPLE = os.path.join(SOURCE_DIR, "examples", "sample.png")


def run_program(*args, check=True):
    """Runs the ktvec program; its completed process."""
    return subprocess.run([PROGRAM, *map(str, args)], capture_output=True, text=True, check=check)


def draw(seed, width=480, height=320):
    """A drawing as a bool array (True = ink): lines of 1-4 px, rings, boxes."""
    rng = np.random.default_rng(seed)
    yy, xx = np.mgrid[0:height, 0:width]
    ink = np.zeros((height, width), bool)
    for _ in range(6):
        x0, x1 = rng.integers(10, width - 10, 2)
        y0, y1 = rng.integers(10, height - 10, 2)
        w = rng.integers(1, 5)
        d = np.hypot(x1 - x0, y1 - y0) or 1.0
        t = np.clip(((xx - x0) * (x1 - x0) + (yy - y0) * (y1 - y0)) / d ** 2, 0, 1)
        ink |= np.hypot(xx - (x0 + t * (x1 - x0)), yy - (y0 + t * (y1 - y0))) < w / 2 + 0.25
    for _ in range(2):
        cx, cy, r = rng.integers(40, width - 40), rng.integers(40, height - 40), rng.integers(12, 35)
        ink |= np.abs(np.hypot(xx - cx, yy - cy) - r) < 1.5
    x0, y0 = rng.integers(10, width // 2), rng.integers(10, height // 2)
    box = (xx >= x0) & (xx < x0 + 120) & (yy >= y0) & (yy < y0 + 80)
    inner = (xx >= x0 + 3) & (xx < x0 + 117) & (yy >= y0 + 3) & (yy < y0 + 77)
    return ink | (box & ~inner)


def write_pbm(path, ink):
    """A raw PBM (P4) of a bool array."""
    with open(path, "wb") as f:
        f.write(b"P4\n%d %d\n" % (ink.shape[1], ink.shape[0]))
        f.write(np.packbits(ink, axis=1).tobytes())
    return str(path)


@pytest.fixture(scope="session")
def program():
    if not os.access(PROGRAM, os.X_OK):
        pytest.fail("the ktvec program is not at %s (set KTVEC_PROGRAM)" % PROGRAM)
    return PROGRAM
