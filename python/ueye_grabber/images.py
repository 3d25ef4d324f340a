"""The image library on numpy arrays.

An array is a picture, top row first: ``H x W`` ``uint8`` grey levels, or
``H x W x 3`` ``uint8`` pixels in the order blue, green, red (as OpenCV
keeps them; ``array[..., ::-1]`` turns RGB into BGR and back). Every
function returns a new C-contiguous array and leaves its argument alone.
Results that are grey (grey palette) come back as ``H x W``, colour results
as ``H x W x 3``.

Methods are named as in the library without their prefix, in lower case
(``"bilinear"``, ``"bicubic"``, ``"lanczos"``, ...); their integers are
accepted too.
"""
from __future__ import annotations

import ctypes
import math
import os
from typing import Callable, Dict, Optional, Sequence, Union

import numpy as np

from . import _library
from ._library import call, integer as _int

METHODS: Dict[str, int] = {
    "nearest_neighbour": 1,
    "bilinear": 2,
    "bspline": 3,
    "bicubic": 4,
    "bicubic2": 5,
    "lanczos": 6,
    "box": 7,
    "hermite": 8,
    "hamming": 9,
    "sinc": 10,
    "blackman": 11,
    "bessel": 12,
    "gaussian": 13,
    "quadratic": 14,
    "mitchell": 15,
    "catrom": 16,
}
OVERFLOWS: Dict[str, int] = {
    "color": 1,
    "background": 2,
    "transparent": 3,
    "wrap": 4,
    "repeat": 5,
    "mirror": 6,
}
RESAMPLE_MODES: Dict[str, int] = {"bilinear": 0, "nearest": 1, "bspline": 2}
DITHER_METHODS: Dict[str, int] = {
    "floyd_steinberg": 0,
    "ordered": 1,
    "burkes": 2,
    "stucki": 3,
    "jarvis_judice_ninke": 4,
    "sierra": 5,
    "stevenson_arce": 6,
    "interleaved_ordered": 7,
}

Choice = Union[str, int]
_TOP_DOWN = 0
_GRAY8 = 8
_BGR24 = 24


def _choose(table: Dict[str, int], value: Choice, what: str) -> int:
    """The integer of a method given by name or number."""
    if isinstance(value, str):
        number = table.get(value.lower())
        if number is not None:
            return number
    elif isinstance(value, (int, np.integer)) and not isinstance(value, bool):
        if int(value) in table.values():
            return int(value)
    names = ", ".join(f'"{name}" ({number})' for name, number in table.items())
    raise ValueError(f"unknown {what} {value!r}; one of {names}")


def _pixels(array: np.ndarray) -> np.ndarray:
    """The array checked as a picture: uint8, H x W or H x W x 3, rows that
    are contiguous in memory (copied into such rows when they are not)."""
    a = np.asarray(array)
    if a.dtype != np.uint8:
        raise ValueError(
            f"expected an array of uint8, got {a.dtype}; convert it first "
            "(for instance numpy.clip(a, 0, 255).astype(numpy.uint8))"
        )
    if not (a.ndim == 2 or (a.ndim == 3 and a.shape[2] == 3)):
        raise ValueError(
            f"expected an H x W (grey) or H x W x 3 (blue, green, red) array, got shape {a.shape}"
        )
    if a.shape[0] == 0 or a.shape[1] == 0:
        raise ValueError(f"the picture is empty (shape {a.shape})")
    pixel = 1 if a.ndim == 2 else 3
    rows_contiguous = a.strides[1] == pixel and (a.ndim == 2 or a.strides[2] == 1)
    if not rows_contiguous or a.strides[0] < a.shape[1] * pixel:
        a = np.ascontiguousarray(a)
    return a


class _Image:
    """An image handle of the C interface, freed when the block ends."""

    def __init__(self, handle: int) -> None:
        self.handle = handle

    @classmethod
    def create(cls, width: int, height: int, bits_per_pixel: int) -> "_Image":
        handle = ctypes.c_void_p()
        call("ueye_image_create", width, height, bits_per_pixel, ctypes.byref(handle))
        return cls(handle.value)

    @classmethod
    def from_array(cls, array: np.ndarray) -> "_Image":
        a = _pixels(array)
        height, width = a.shape[:2]
        row = width * (1 if a.ndim == 2 else 3)
        stride = a.strides[0]
        handle = ctypes.c_void_p()
        call(
            "ueye_image_from_buffer",
            a.ctypes.data,
            stride * (height - 1) + row,
            width,
            height,
            8 if a.ndim == 2 else 24,
            stride,
            _TOP_DOWN,
            ctypes.byref(handle),
        )
        return cls(handle.value)

    def to_array(self, out: Optional[np.ndarray] = None) -> np.ndarray:
        """The pixels as a new array, or in ``out`` when it has the result's
        shape (a reused array saves the first touch of fresh memory)."""
        width, height, bpp, stride = (
            ctypes.c_uint32(),
            ctypes.c_uint32(),
            ctypes.c_uint32(),
            ctypes.c_size_t(),
        )
        call(
            "ueye_image_info",
            self.handle,
            ctypes.byref(width),
            ctypes.byref(height),
            ctypes.byref(bpp),
            ctypes.byref(stride),
        )
        grey = ctypes.c_int32()
        call("ueye_image_is_gray", self.handle, ctypes.byref(grey))
        shape = (height.value, width.value) if grey.value else (height.value, width.value, 3)
        if out is None:
            out = np.empty(shape, dtype=np.uint8)
        elif (
            not isinstance(out, np.ndarray)
            or out.dtype != np.uint8
            or out.shape != shape
            or not out.flags.c_contiguous
            or not out.flags.writeable
        ):
            raise ValueError(f"out must be a writeable C-contiguous uint8 array of shape {shape}")
        call(
            "ueye_image_read",
            self.handle,
            out.ctypes.data,
            out.strides[0],
            out.nbytes,
            _GRAY8 if grey.value else _BGR24,
        )
        return out

    def close(self) -> None:
        if self.handle is not None:
            call("ueye_image_free", self.handle)
            self.handle = None

    def __enter__(self) -> "_Image":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()


def _apply(
    array: np.ndarray, name: str, *arguments: object, out: Optional[np.ndarray] = None
) -> np.ndarray:
    with _Image.from_array(array) as image:
        call(name, image.handle, *arguments)
        return image.to_array(out)


def _size(width: int, height: int) -> Sequence[int]:
    width, height = _int(width, "width"), _int(height, "height")
    if width < 1 or height < 1:
        raise ValueError(f"width and height must be at least 1, not {width} x {height}")
    return width, height


def _angle(degrees: float) -> float:
    value = float(degrees)
    if not math.isfinite(value):
        raise ValueError(f"the angle must be a finite number of degrees, not {degrees!r}")
    return value


def resample(array: np.ndarray, width: int, height: int, mode: Choice = "bilinear") -> np.ndarray:
    """Scales to width x height: ``"bilinear"`` (box averaging when a colour
    picture shrinks), ``"nearest"`` or ``"bspline"``."""
    return _apply(
        array, "ueye_image_resample", *_size(width, height), _choose(RESAMPLE_MODES, mode, "mode")
    )


def resample2(
    array: np.ndarray,
    width: int,
    height: int,
    method: Choice = "bicubic2",
    overflow: Choice = "repeat",
    *,
    out: Optional[np.ndarray] = None,
) -> np.ndarray:
    """Scales to width x height with an interpolation method; shrinking
    averages the area each pixel covers. The result goes into ``out`` when
    it is given (of the result's shape), else into a new array."""
    return _apply(
        array,
        "ueye_image_resample2",
        *_size(width, height),
        _choose(METHODS, method, "interpolation method"),
        _choose(OVERFLOWS, overflow, "overflow method"),
        out=out,
    )


def rotate2(
    array: np.ndarray,
    degrees: float,
    method: Choice = "bilinear",
    overflow: Choice = "background",
    replacement: Optional[Sequence[int]] = None,
    keep_size: bool = False,
) -> np.ndarray:
    """Rotates by an angle with an interpolation method. ``replacement``
    (blue, green, red) colours what lies outside the picture; ``keep_size``
    keeps the original size instead of enlarging to hold the whole turn."""
    colour = None
    if replacement is not None:
        values = [_int(v, "a replacement colour channel") for v in replacement]
        if len(values) not in (3, 4) or not all(0 <= v <= 255 for v in values):
            raise ValueError("replacement must be (blue, green, red) with values 0 to 255")
        colour = (ctypes.c_uint8 * 4)(*(values + [0] * (4 - len(values))))
    if not isinstance(keep_size, bool):
        raise ValueError(f"keep_size must be True or False, not {keep_size!r}")
    return _apply(
        array,
        "ueye_image_rotate2",
        _angle(degrees),
        _choose(METHODS, method, "interpolation method"),
        _choose(OVERFLOWS, overflow, "overflow method"),
        ctypes.addressof(colour) if colour is not None else None,
        int(keep_size),
    )


def rotate(array: np.ndarray, degrees: float) -> np.ndarray:
    """Rotates by an angle, nearest pixel, onto a canvas that holds it all."""
    return _apply(array, "ueye_image_rotate", _angle(degrees))


def _whole_image(name: str, doc: str) -> Callable[[np.ndarray], np.ndarray]:
    """An operation without arguments of its own."""

    def operation(array: np.ndarray) -> np.ndarray:
        return _apply(array, "ueye_image_" + name)

    operation.__name__ = operation.__qualname__ = name
    operation.__doc__ = doc
    return operation


rotate_left = _whole_image("rotate_left", "A quarter turn counter-clockwise.")
rotate_right = _whole_image("rotate_right", "A quarter turn clockwise.")
rotate_180 = _whole_image("rotate_180", "A half turn.")
flip = _whole_image("flip", "Upside down.")
mirror = _whole_image("mirror", "Left to right.")
negative = _whole_image("negative", "Every value v becomes 255 - v.")
grayscale = _whole_image("grayscale", "Grey levels of the pixels' colours, as an H x W array.")


def crop(array: np.ndarray, left: int, top: int, right: int, bottom: int) -> np.ndarray:
    """The rectangle from (left, top) up to, not including, (right, bottom)."""
    names = ("left", "top", "right", "bottom")
    values = [_int(v, name) for v, name in zip((left, top, right, bottom), names)]
    return _apply(array, "ueye_image_crop", *values)


def increase_bpp(array: np.ndarray, bits_per_pixel: int) -> np.ndarray:
    """Through the library's conversion to 4, 8 or 24 bits per pixel; 24
    gives an H x W x 3 array."""
    bits = _int(bits_per_pixel, "bits per pixel") & 0xFFFFFFFF
    return _apply(array, "ueye_image_increase_bpp", bits)


def decrease_bpp(array: np.ndarray, bits_per_pixel: int, diffuse: bool = False) -> np.ndarray:
    """Quantised to the standard palette of 1, 4 or 8 bits per pixel, with
    error diffusion when ``diffuse``; returned as the palette's colours."""
    if not isinstance(diffuse, bool):
        raise ValueError(f"diffuse must be True or False, not {diffuse!r}")
    return _apply(
        array,
        "ueye_image_decrease_bpp",
        _int(bits_per_pixel, "bits per pixel") & 0xFFFFFFFF,
        int(diffuse),
    )


def dither(array: np.ndarray, method: Choice = "floyd_steinberg") -> np.ndarray:
    """Black and white (0 and 255) by halftoning the grey levels."""
    return _apply(array, "ueye_image_dither", _choose(DITHER_METHODS, method, "dither method"))


def save(
    array: np.ndarray, path: Union[str, "os.PathLike[str]"], file_type: Optional[str] = None
) -> None:
    """Writes the picture as a BMP or PNG file, as the host program
    framegrab writes its frames; the type comes from the file name's suffix
    unless ``file_type`` (``"bmp"`` or ``"png"``) is given."""
    name = os.fspath(path)
    kind = (file_type or os.path.splitext(name)[1].lstrip(".")).lower()
    types = {"bmp": 1, "png": 2}
    if kind not in types:
        raise ValueError(f"cannot tell the file type of {name!r}: give a .bmp or .png name")
    with _Image.from_array(array) as image:
        call("ueye_image_save", image.handle, name.encode(), types[kind])


def simd_level() -> str:
    """The vector instruction set the image library uses."""
    return _library.text("ueye_simd_level")


def set_thread_count(threads: int) -> None:
    """Threads an image operation may spread its rows over (1 to 256); the
    results are the same bits at every count."""
    call("ueye_set_thread_count", _int(threads, "the thread count"))


def thread_count() -> int:
    """The thread count of the image operations."""
    return int(_library.library().ueye_get_thread_count())
