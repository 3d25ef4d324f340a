"""The camera plug-in and its image library for Python, over the plug-in's C
interface library (``libueye_grabber_c.so``, ``ueye_grabber_c.dll``).

The library is found next to the installed package, on the system's library
path, or at the path in the environment variable ``UEYE_GRABBER_LIBRARY``,
which overrides the search.

Frames and pictures are numpy arrays, top row first: ``H x W`` ``uint8``
grey levels or ``H x W x 3`` ``uint8`` blue, green, red.

Errors: ``ValueError`` for bad arguments (with the library's text),
:class:`GrabberError` for the camera, ``MemoryError`` and ``OSError`` for
memory and files.
"""
from ._library import GrabberError, LibraryNotFoundError
from .grabber import Grabber, list_devices
from .images import (
    DITHER_METHODS,
    METHODS,
    OVERFLOWS,
    RESAMPLE_MODES,
    crop,
    decrease_bpp,
    dither,
    flip,
    grayscale,
    increase_bpp,
    mirror,
    negative,
    resample,
    resample2,
    rotate,
    rotate2,
    rotate_180,
    rotate_left,
    rotate_right,
    save,
    set_thread_count,
    simd_level,
    thread_count,
)

__version__ = "1.0.0"


def api_version() -> int:
    """The C interface's version, major * 10000 + minor * 100 + patch."""
    from ._library import library

    return int(library().ueye_api_version())


def plugin_version() -> str:
    """The camera plug-in's interface version text."""
    from ._library import text

    return text("ueye_plugin_version")


__all__ = [
    "DITHER_METHODS",
    "Grabber",
    "GrabberError",
    "LibraryNotFoundError",
    "METHODS",
    "OVERFLOWS",
    "RESAMPLE_MODES",
    "api_version",
    "list_devices",
    "crop",
    "decrease_bpp",
    "dither",
    "flip",
    "grayscale",
    "increase_bpp",
    "mirror",
    "negative",
    "plugin_version",
    "resample",
    "resample2",
    "rotate",
    "rotate2",
    "rotate_180",
    "rotate_left",
    "rotate_right",
    "save",
    "set_thread_count",
    "simd_level",
    "thread_count",
]
