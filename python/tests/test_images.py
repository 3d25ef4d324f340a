"""The image functions against the image library called directly from C++
(the build's reference_ops program), byte for byte, and their checks of bad
input."""
import os
import subprocess
import sys

import numpy as np
import pytest

import ueye_grabber as ug
from conftest import program, read_bmp, run

rng = np.random.default_rng(7)
GREY = rng.integers(0, 256, (23, 37), dtype=np.uint8)
COLOUR = rng.integers(0, 256, (19, 29, 3), dtype=np.uint8)

# (function, its arguments, the reference program's operation and arguments)
CASES = [
    (ug.resample2, (50, 31), ["resample2", 50, 31, 5, 5]),
    (ug.resample2, (50, 31, "bicubic"), ["resample2", 50, 31, 4, 5]),
    (ug.resample2, (12, 9, "lanczos", "mirror"), ["resample2", 12, 9, 6, 6]),
    (ug.resample2, (12, 9, 6, 6), ["resample2", 12, 9, 6, 6]),
    (ug.rotate2, (30,), ["rotate2", 30, 2, 2]),
    (ug.rotate2, (-17.5, "bicubic", "wrap"), ["rotate2", -17.5, 4, 4]),
    (ug.resample, (60, 40), ["resample", 60, 40, 0]),
    (ug.resample, (11, 7, "nearest"), ["resample", 11, 7, 1]),
    (ug.resample, (11, 7, "bspline"), ["resample", 11, 7, 2]),
    (ug.rotate, (12,), ["rotate", 12]),
    (ug.rotate_left, (), ["rotate_left"]),
    (ug.rotate_right, (), ["rotate_right"]),
    (ug.rotate_180, (), ["rotate_180"]),
    (ug.flip, (), ["flip"]),
    (ug.mirror, (), ["mirror"]),
    (ug.negative, (), ["negative"]),
    (ug.grayscale, (), ["grayscale"]),
    (ug.crop, (3, 2, 20, 15), ["crop", 3, 2, 20, 15]),
    (ug.increase_bpp, (24,), ["increase_bpp", 24]),
    (ug.decrease_bpp, (4, True), ["decrease_bpp", 4, 1]),
    (ug.dither, ("stucki",), ["dither", 3]),
    (ug.dither, (), ["dither", 0]),
]


@pytest.mark.parametrize("picture", [GREY, COLOUR], ids=["grey", "colour"])
@pytest.mark.parametrize("function, arguments, reference", CASES)
def test_matches_the_library(tmp_path, picture, function, arguments, reference):
    if function is ug.increase_bpp and picture.ndim == 3:
        pytest.skip("a colour picture has 24 bits already")
    source = tmp_path / "in.raw"
    source.write_bytes(picture.tobytes())
    expected_file = tmp_path / "out.bmp"
    height, width = picture.shape[:2]
    bpp = 8 if picture.ndim == 2 else 24
    run([str(a) for a in [program("UEYE_TEST_REFERENCE"), source, width, height, bpp,
                          expected_file, *reference]])
    before = picture.copy()
    result = function(picture, *arguments)
    assert result.dtype == np.uint8 and result.flags.c_contiguous
    np.testing.assert_array_equal(result, read_bmp(expected_file))
    np.testing.assert_array_equal(picture, before)  # the argument is left alone


@pytest.mark.parametrize("picture", [GREY, COLOUR], ids=["grey", "colour"])
def test_orientation_and_channel_order(picture):
    np.testing.assert_array_equal(ug.flip(picture), picture[::-1])
    np.testing.assert_array_equal(ug.mirror(picture), picture[:, ::-1])
    np.testing.assert_array_equal(ug.rotate_180(picture), picture[::-1, ::-1])
    np.testing.assert_array_equal(ug.rotate_left(picture), np.rot90(picture))
    np.testing.assert_array_equal(ug.negative(picture), 255 - picture)
    np.testing.assert_array_equal(ug.crop(picture, 4, 3, 9, 11), picture[3:11, 4:9])


def test_views_give_the_results_of_their_copies():
    views = [GREY[2:20, 5:30], GREY[:, ::2], GREY[::-1], COLOUR[1:, 2:], COLOUR[..., ::-1],
             np.asfortranarray(GREY)]
    for view in views:
        np.testing.assert_array_equal(ug.resample2(view, 17, 13), ug.resample2(view.copy(), 17, 13))


def test_resample2_into_a_given_array():
    out = np.full((31, 50, 3), 7, np.uint8)
    assert ug.resample2(COLOUR, 50, 31, out=out) is out
    np.testing.assert_array_equal(out, ug.resample2(COLOUR, 50, 31))
    for wrong in (np.empty((31, 50), np.uint8), np.empty((31, 50, 3), np.uint16),
                  np.empty((50, 31, 3), np.uint8).transpose(1, 0, 2)):
        with pytest.raises(ValueError, match="out must be"):
            ug.resample2(COLOUR, 50, 31, out=wrong)


def test_save_writes_framegrabs_files(tmp_path):
    ug.save(GREY, tmp_path / "a.bmp")
    ug.save(COLOUR, str(tmp_path / "a.png"))
    ug.save(GREY, tmp_path / "picture", file_type="png")
    np.testing.assert_array_equal(read_bmp(tmp_path / "a.bmp"), GREY)
    assert (tmp_path / "a.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    assert (tmp_path / "picture").read_bytes()[:4] == b"\x89PNG"
    with pytest.raises(OSError, match="no-such-folder"):
        ug.save(GREY, tmp_path / "no-such-folder" / "a.png")


BAD = [
    (lambda: ug.flip(GREY.astype(np.float64)), "uint8"),
    (lambda: ug.flip(GREY.astype(np.int16)), "uint8"),
    (lambda: ug.flip(np.zeros((4, 4, 4), np.uint8)), "shape"),
    (lambda: ug.flip(np.zeros(16, np.uint8)), "shape"),
    (lambda: ug.flip(np.zeros((0, 5), np.uint8)), "empty"),
    (lambda: ug.flip([[1, 2], [3, 4]]), "uint8"),
    (lambda: ug.resample2(GREY, 10, 10, "cubic"), "unknown interpolation method 'cubic'"),
    (lambda: ug.resample2(GREY, 10, 10, 0), "unknown interpolation method"),
    (lambda: ug.resample2(GREY, 10, 10, 17), "unknown interpolation method"),
    (lambda: ug.resample2(GREY, 10, 10, True), "unknown interpolation method"),
    (lambda: ug.resample2(GREY, 10, 10, overflow="outside"), "unknown overflow method"),
    (lambda: ug.resample2(GREY, 0, 10), "at least 1"),
    (lambda: ug.resample2(GREY, -3, 10), "at least 1"),
    (lambda: ug.resample2(GREY, 2**31, 10), "out of range"),
    (lambda: ug.resample2(GREY, 10.5, 10), "integer"),
    (lambda: ug.resample2(GREY, 100000, 100000), "Resample2 failed"),
    (lambda: ug.resample(GREY, 10, 10, "bicubic"), "unknown mode"),
    (lambda: ug.rotate2(GREY, float("nan")), "finite"),
    (lambda: ug.rotate2(GREY, 10, replacement=(1, 2)), "replacement"),
    (lambda: ug.rotate2(GREY, 10, replacement=(1, 2, 300)), "replacement"),
    (lambda: ug.rotate(GREY, float("inf")), "finite"),
    (lambda: ug.crop(GREY, 5, 5, 5, 9), "crop rectangle"),
    (lambda: ug.increase_bpp(COLOUR, 8), "IncreaseBpp failed"),
    (lambda: ug.increase_bpp(GREY, 16), "bits per pixel"),
    (lambda: ug.decrease_bpp(COLOUR, 2), "bits per pixel"),
    (lambda: ug.decrease_bpp(COLOUR, -1), "bits per pixel"),
    (lambda: ug.dither(GREY, "halftone"), "unknown dither method"),
    (lambda: ug.dither(GREY, 8), "unknown dither method"),
    (lambda: ug.save(GREY, "picture.gif"), "file type"),
    (lambda: ug.set_thread_count(0), "thread count"),
    (lambda: ug.set_thread_count(257), "thread count"),
]


@pytest.mark.parametrize("call, message", BAD)
def test_bad_input_is_a_value_error(call, message):
    with pytest.raises(ValueError, match=message):
        call()


def test_library_settings():
    assert ug.simd_level() in ("none", "sse2", "avx2", "avx512", "neon")
    assert ug.plugin_version() == "FrameGrabber $Revision: 1.26 $"
    assert ug.api_version() == 10100
    ug.set_thread_count(4)
    try:
        assert ug.thread_count() == 4
        # The same bits at every thread count.
        big = np.resize(COLOUR, (300, 400, 3))
        four = ug.rotate2(big, 33, "bicubic")
        ug.set_thread_count(1)
        np.testing.assert_array_equal(ug.rotate2(big, 33, "bicubic"), four)
    finally:
        ug.set_thread_count(1)


def test_a_missing_library_says_where_it_looked(tmp_path):
    missing = tmp_path / "libnothing.so"
    environment = dict(os.environ, UEYE_GRABBER_LIBRARY=str(missing))
    result = subprocess.run(
        [sys.executable, "-c", "import ueye_grabber; ueye_grabber.simd_level()"],
        env=environment, capture_output=True, text=True)
    assert result.returncode != 0
    assert "LibraryNotFoundError" in result.stderr
    assert str(missing) in result.stderr and "UEYE_GRABBER_LIBRARY" in result.stderr
