"""Checks frames of the GigE Vision fake camera, as framegrab writes them
(8-bit BMP files) or as arrays: every pixel (x, y), row 0 at the top, is
(x + y + frame id) mod 255 at the camera's default exposure and gain, and no
frame comes twice."""
import struct
import sys
from pathlib import Path

import numpy as np


def read_bmp(path: Path) -> np.ndarray:
    data = path.read_bytes()
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bpp = struct.unpack_from("<iiHH", data, 18)
    if bpp != 8:
        raise ValueError(f"{path}: {bpp} bits per pixel, not 8")
    stride = (width + 3) & ~3
    rows = np.frombuffer(data, np.uint8, stride * abs(height), offset).reshape(abs(height), stride)
    rows = rows[:, :width]
    return rows[::-1] if height > 0 else rows  # bottom-up files


def frame_id(frame: np.ndarray) -> int:
    """The frame id modulo 255 that the picture shows; raises when any pixel
    breaks the camera's pattern."""
    height, width = frame.shape
    first = int(frame[0, 0])
    y, x = np.mgrid[0:height, 0:width]
    expected = (x + y + first) % 255
    wrong = np.count_nonzero(frame != expected)
    if wrong:
        raise ValueError(f"{wrong} pixels differ from the camera's picture")
    return first


def check_frames(frames, repeats_allowed: int = 0) -> int:
    """Every frame the camera's picture; at most `repeats_allowed` of them the
    picture of the frame before (a host that copies a frame later than a frame
    time after it arrived copies the next one)."""
    ids = [frame_id(frame) for frame in frames]
    repeated = len(ids) - len(set(ids)) if len(ids) <= 255 else 0
    if repeated > repeats_allowed:
        raise ValueError(f"{repeated} frames came twice: ids {ids}")
    return len(ids)


if __name__ == "__main__":
    folder = Path(sys.argv[1])
    count = check_frames(read_bmp(path) for path in sorted(folder.glob("frame_*.bmp")))
    want = int(sys.argv[2])
    if count != want:
        sys.exit(f"{count} frames in {folder}, not {want}")
    print(f"{count} frames equal the camera's picture, none twice")
