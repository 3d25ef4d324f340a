"""The simulated camera through the package: frames as arrays, live video
with its frame numbers, the settings and their checks, and frames as
framegrab writes them."""
import os
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

import ueye_grabber as ug
from conftest import program, read_bmp, run

HEIGHT, WIDTH = 1024, 1280
Y, X = np.mgrid[0:HEIGHT, 0:WIDTH]
BASE = ((X + 2 * Y) % 256).astype(np.uint8)  # frame 0


def frame_number_of(frame, negative=False):
    """The simulated camera's frame n, whose byte at (x, y) is (x + 2y + n)
    mod 256, that the array is (inverted when negative); None when it is no
    such frame."""
    plain = 255 - frame if negative else frame
    n = int(plain[0, 0])
    return n if np.array_equal(plain, BASE + np.uint8(n)) else None  # uint8 wraps


def test_snap_and_live(in_tmp):
    with ug.Grabber() as camera:
        assert camera.shape == (HEIGHT, WIDTH) and camera.bits_per_pixel == 8
        frames = [camera.snap() for _ in range(3)]
        frame = frames[0]
        assert frame.dtype == np.uint8 and frame.flags.c_contiguous and frame.shape == camera.shape
        assert any(frame_number_of(frame) is not None for frame in frames)
        assert not camera.is_live

        # Frame numbers count the camera's frames: their steps are those of
        # the frames' content, and at the camera's full rate none is missed.
        # A busy machine may delay a copy into the next frame, or the
        # counting thread past two frames: a few steps may differ.
        # The camera overwrites its one frame memory while live, so a copy
        # that a busy machine delays by a frame time mixes two frames.
        frames = list(camera.live(count=30))  # examined after the run, which they would slow
        pairs = [(number, frame_number_of(frame)) for number, frame in frames]
        numbers = [number for number, _ in pairs]
        assert all(b > a for a, b in zip(numbers, numbers[1:]))
        clean = [(number, n) for number, n in pairs if n is not None]
        agree = [(b[0] - a[0]) % 256 == (b[1] - a[1]) % 256 for a, b in zip(clean, clean[1:])]
        assert len(clean) >= 25 and sum(agree) >= 0.8 * len(agree)
        assert numbers[-1] - numbers[0] + 1 - len(numbers) <= 5
        assert not camera.is_live

        # With live video off the frame memory holds still.
        camera.negative = True
        assert camera.negative
        out = np.zeros((HEIGHT, WIDTH + 16), np.uint8)[:, :WIDTH]
        assert camera.copy_frame(out) is out
        assert frame_number_of(out, negative=True) is not None
        with pytest.raises(ug.GrabberError, match="live video is off"):
            camera.wait_frame(0.01)
    assert camera.closed
    camera.close()  # a second close does nothing
    with pytest.raises(ug.GrabberError, match="closed"):
        camera.snap()


def test_settings_and_their_checks(in_tmp):
    with ug.Grabber(params="settings") as camera:
        assert camera.exposure == 33000
        low, high = camera.exposure_range
        assert 0 < low < high
        camera.exposure = 20010
        assert camera.exposure == 20000  # whole sensor lines
        assert camera.description == "Not implemented yet"
        for value in (0, low - 1, high + 1, 2**40, -5, 1.5, "20000", True):
            with pytest.raises(ValueError):
                camera.exposure = value
        for value in (2, "yes", None):
            with pytest.raises(ValueError):
                camera.negative = value
        with pytest.raises(ug.GrabberError, match="Not implemented"):
            camera.gain
        with pytest.raises(ug.GrabberError, match="Not implemented"):
            camera.gain = 3
        with pytest.raises(ug.GrabberError, match="Not implemented"):
            camera.auto_gain()
        for bad in (dict(timeout=-1), dict(timeout="1")):
            with pytest.raises(ValueError):
                camera.snap(**bad)
        for out in (np.zeros((HEIGHT, WIDTH), np.int16), np.zeros((HEIGHT, WIDTH - 1), np.uint8),
                    np.zeros((WIDTH, HEIGHT), np.uint8).T):
            with pytest.raises(ValueError):
                camera.copy_frame(out)
    assert (in_tmp / "settings.ini").exists()  # the camera stored its parameters


@pytest.mark.parametrize("camera, params, error", [
    (1, "x", "only camera 0"), (-1, "x", "only camera 0"), (2**32, "x", "only camera 0"),
    (True, "x", "integer"), (0, None, "file name"), (0, b"x", "file name")])
def test_bad_camera_arguments(in_tmp, camera, params, error):
    with pytest.raises(ValueError, match=error):
        ug.Grabber(camera, params)


def test_frames_match_framegrab(in_tmp):
    """framegrab's files of a negative frame, and the package's frame of the
    same settings: the same kind of frame, and the package writes the same
    files from it byte for byte."""
    run([program("UEYE_TEST_FRAMEGRAB"), "-n", "3", "-o", "frames", "--negative", "-q"])
    theirs = [read_bmp(in_tmp / "frames" / f"frame_000{i}.bmp") for i in range(3)]
    assert any(frame_number_of(frame, negative=True) is not None for frame in theirs)
    with ug.Grabber() as camera:
        camera.negative = True
        ours = [frame for _, frame in camera.live(count=3)]
    assert any(frame_number_of(frame, negative=True) is not None for frame in ours)
    theirs = theirs[0]
    ug.save(theirs, in_tmp / "ours.bmp")
    ug.save(theirs, in_tmp / "ours.png")
    for suffix in ("bmp", "png"):
        assert (in_tmp / f"ours.{suffix}").read_bytes() == \
            (in_tmp / "frames" / f"frame_0000.{suffix}").read_bytes()


def test_the_guides_example(in_tmp):
    example = Path(__file__).resolve().parent.parent / "examples" / "grab_frames.py"
    result = run([sys.executable, str(example), "-n", "5", "-o", "out"])
    assert "Grabbed 5 frames" in result.stdout
    assert len(list((in_tmp / "out").glob("frame_*.png"))) == 5


def test_devices_are_listed_and_chosen(in_tmp):
    devices = ug.list_devices()
    assert devices[0] == ("sim", "the simulated camera")
    assert all(device.startswith("genicam:") for device, _ in devices[1:])
    with ug.Grabber(device="sim") as camera:
        assert camera.shape == (1024, 1280)
        camera.snap()
        delivered, dropped, lost = camera.counters
        assert delivered >= 1 and dropped == 0 and not lost
    for device, error in [("gige", ValueError), (7, ValueError)]:
        with pytest.raises(error):
            ug.Grabber(device=device)
