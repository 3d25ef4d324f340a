"""Shared helpers: the programs the suite compares with, and BMP files read
back into arrays."""
import os
import struct
import subprocess
from pathlib import Path

import numpy as np
import pytest


def program(variable: str) -> str:
    """A program of the build named by an environment variable (set by the
    build's test run); the test is skipped without it."""
    path = os.environ.get(variable)
    if not path or not Path(path).exists():
        pytest.skip(f"{variable} does not name a program of the build")
    return path


def read_bmp(path) -> np.ndarray:
    """A BMP file's picture, top row first: H x W grey levels when the
    palette is grey, else H x W x 3 blue, green, red."""
    data = Path(path).read_bytes()
    offset = struct.unpack_from("<I", data, 10)[0]
    size, width, height, _, bpp = struct.unpack_from("<IiiHH", data, 14)
    colours = struct.unpack_from("<I", data, 46)[0] or (1 << bpp if bpp <= 8 else 0)
    palette = np.frombuffer(data, np.uint8, 4 * colours, 14 + size).reshape(-1, 4)[:, :3]
    stride = (width * bpp + 31) // 32 * 4
    rows = np.frombuffer(data, np.uint8, stride * height, offset).reshape(height, stride)[::-1]
    if bpp == 24:
        return np.ascontiguousarray(rows[:, : 3 * width].reshape(height, width, 3))
    bits = np.unpackbits(rows, axis=1).reshape(height, -1, bpp)[:, :width]
    indices = (bits * (1 << np.arange(bpp - 1, -1, -1))).sum(axis=2)
    colour = palette[indices]
    if (palette[:, 0] == palette[:, 1]).all() and (palette[:, 1] == palette[:, 2]).all():
        return colour[..., 0].astype(np.uint8)
    return colour.astype(np.uint8)


@pytest.fixture
def in_tmp(tmp_path, monkeypatch):
    """The test runs in a folder of its own (parameter files land there)."""
    monkeypatch.chdir(tmp_path)
    return tmp_path


def run(args, **kwargs):
    return subprocess.run(args, check=True, capture_output=True, text=True, **kwargs)
