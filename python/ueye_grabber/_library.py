"""Loading the C interface library and calling it: prototypes, statuses
turned into exceptions."""
from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
import threading
from pathlib import Path
from typing import Any, List, Optional

ENVIRONMENT_VARIABLE = "UEYE_GRABBER_LIBRARY"

OK = 0
E_ARGUMENT = -1
E_HANDLE = -2
E_NO_MEMORY = -3
E_CAMERA = -4
E_STATE = -5
E_TIMEOUT = -6
E_OPERATION = -7
E_IO = -8
E_UNSUPPORTED = -9
E_INTERNAL = -10


class GrabberError(RuntimeError):
    """A camera failure: no camera, live video off, no frame in time, an
    operation the camera family does not offer. ``status`` is the C
    interface's status code."""

    def __init__(self, message: str, status: int = E_CAMERA) -> None:
        super().__init__(message)
        self.status = status


class LibraryNotFoundError(OSError):
    """The C interface library could not be loaded."""


def _raise(status: int, name: str) -> None:
    text = _lib.ueye_last_error().decode("utf-8", "replace")
    message = f"{name}: {text}"
    if status in (E_ARGUMENT, E_HANDLE, E_OPERATION):
        raise ValueError(message)
    if status == E_NO_MEMORY:
        raise MemoryError(message)
    if status == E_IO:
        raise OSError(message)
    raise GrabberError(message, status)


def integer(value: Any, what: str) -> int:
    """The value as a signed 32-bit integer; ValueError for anything else
    (True and False included)."""
    if isinstance(value, bool) or not hasattr(value, "__index__"):
        raise ValueError(f"{what} must be an integer, not {value!r}")
    number = value.__index__()
    if not -(2**31) <= number < 2**31:
        raise ValueError(f"{what} {number} is out of range")
    return number


def _library_names() -> List[str]:
    if sys.platform == "win32":
        return ["ueye_grabber_c.dll"]
    if sys.platform == "darwin":
        return ["libueye_grabber_c.dylib"]
    return ["libueye_grabber_c.so.1", "libueye_grabber_c.so"]


def _candidates() -> List[str]:
    """Where the library is looked for, in order."""
    here = Path(__file__).resolve().parent
    places: List[str] = []
    # Installed by cmake --install: the library's folder relative to the package.
    try:
        from . import _installed  # type: ignore[attr-defined]

        folder = (here / _installed.LIBRARY_DIR).resolve()
        places += [str(folder / name) for name in _library_names()]
    except ImportError:
        pass
    places += [str(here / name) for name in _library_names()]
    # The system's search path (ld.so.conf, LD_LIBRARY_PATH, PATH on Windows).
    places += _library_names()
    found = ctypes.util.find_library("ueye_grabber_c")
    if found:
        places.append(found)
    return places


def _load() -> ctypes.CDLL:
    override = os.environ.get(ENVIRONMENT_VARIABLE)
    tried = [override] if override else _candidates()
    reasons = []
    for place in tried:
        try:
            return ctypes.CDLL(place)
        except OSError as error:
            reasons.append(f"  {place}: {error}")
    where = "the path in " + ENVIRONMENT_VARIABLE if override else "these places"
    raise LibraryNotFoundError(
        "cannot load the camera plug-in's C interface library; looked in "
        + where
        + ":\n"
        + "\n".join(reasons)
        + f"\nSet {ENVIRONMENT_VARIABLE} to the path of the library "
        + f"({_library_names()[0]}) to choose it."
    )


c_int32 = ctypes.c_int32
c_uint32 = ctypes.c_uint32
c_size_t = ctypes.c_size_t
c_void_p = ctypes.c_void_p
P = ctypes.POINTER

# name: (result type, argument types); every other result is a status.
_PROTOTYPES = {
    "ueye_last_error": (ctypes.c_char_p, []),
    "ueye_api_version": (c_int32, []),
    "ueye_plugin_version": (ctypes.c_char_p, []),
    "ueye_simd_level": (ctypes.c_char_p, []),
    "ueye_set_thread_count": (c_int32, [c_int32]),
    "ueye_get_thread_count": (c_int32, []),
    "ueye_grabber_open": (c_int32, [c_uint32, ctypes.c_char_p, P(c_void_p)]),
    "ueye_grabber_open_device": (
        c_int32,
        [c_uint32, ctypes.c_char_p, ctypes.c_char_p, P(c_void_p)],
    ),
    "ueye_list_devices": (c_int32, [ctypes.c_char_p, c_size_t, P(c_size_t)]),
    "ueye_grabber_counters": (
        c_int32,
        [c_void_p, P(ctypes.c_uint64), P(ctypes.c_uint64), P(c_int32)],
    ),
    "ueye_grabber_close": (c_int32, [c_void_p]),
    "ueye_grabber_status": (c_int32, [c_void_p, P(c_int32)]),
    "ueye_grabber_description": (c_int32, [c_void_p, ctypes.c_char_p, c_size_t]),
    "ueye_grabber_size": (c_int32, [c_void_p, P(c_int32), P(c_int32), P(c_int32)]),
    "ueye_grabber_exposure_range": (c_int32, [c_void_p, P(c_int32), P(c_int32)]),
    "ueye_grabber_get_exposure": (c_int32, [c_void_p, P(c_uint32)]),
    "ueye_grabber_set_exposure": (c_int32, [c_void_p, c_uint32, P(c_uint32)]),
    "ueye_grabber_get_gain": (c_int32, [c_void_p, P(c_int32)]),
    "ueye_grabber_set_gain": (c_int32, [c_void_p, c_int32]),
    "ueye_grabber_auto_gain": (c_int32, [c_void_p]),
    "ueye_grabber_set_negative": (c_int32, [c_void_p, c_int32]),
    "ueye_grabber_get_negative": (c_int32, [c_void_p, P(c_int32)]),
    "ueye_grabber_start_live": (c_int32, [c_void_p]),
    "ueye_grabber_stop_live": (c_int32, [c_void_p]),
    "ueye_grabber_wait_frame": (
        c_int32,
        [c_void_p, c_uint32, P(ctypes.c_uint64), P(ctypes.c_uint64)],
    ),
    "ueye_grabber_copy_frame": (c_int32, [c_void_p, c_void_p, c_size_t, c_size_t]),
    "ueye_grabber_grab_image": (c_int32, [c_void_p, c_void_p]),
    "ueye_image_create": (c_int32, [c_uint32, c_uint32, c_uint32, P(c_void_p)]),
    "ueye_image_from_buffer": (
        c_int32,
        [c_void_p, c_size_t, c_uint32, c_uint32, c_uint32, c_size_t, c_int32, P(c_void_p)],
    ),
    "ueye_image_free": (c_int32, [c_void_p]),
    "ueye_image_info": (
        c_int32,
        [c_void_p, P(c_uint32), P(c_uint32), P(c_uint32), P(c_size_t)],
    ),
    "ueye_image_is_gray": (c_int32, [c_void_p, P(c_int32)]),
    "ueye_image_read": (c_int32, [c_void_p, c_void_p, c_size_t, c_size_t, c_int32]),
    "ueye_image_save": (c_int32, [c_void_p, ctypes.c_char_p, c_int32]),
    "ueye_image_resample": (c_int32, [c_void_p, c_int32, c_int32, c_int32]),
    "ueye_image_resample2": (c_int32, [c_void_p, c_int32, c_int32, c_int32, c_int32]),
    "ueye_image_rotate2": (
        c_int32,
        [c_void_p, ctypes.c_float, c_int32, c_int32, c_void_p, c_int32],
    ),
    "ueye_image_rotate": (c_int32, [c_void_p, ctypes.c_float]),
    "ueye_image_rotate_left": (c_int32, [c_void_p]),
    "ueye_image_rotate_right": (c_int32, [c_void_p]),
    "ueye_image_rotate_180": (c_int32, [c_void_p]),
    "ueye_image_flip": (c_int32, [c_void_p]),
    "ueye_image_mirror": (c_int32, [c_void_p]),
    "ueye_image_negative": (c_int32, [c_void_p]),
    "ueye_image_grayscale": (c_int32, [c_void_p]),
    "ueye_image_crop": (c_int32, [c_void_p, c_int32, c_int32, c_int32, c_int32]),
    "ueye_image_increase_bpp": (c_int32, [c_void_p, c_uint32]),
    "ueye_image_decrease_bpp": (c_int32, [c_void_p, c_uint32, c_int32]),
    "ueye_image_dither": (c_int32, [c_void_p, c_int32]),
}

_lib: Any = None
_lock = threading.Lock()


def library() -> Any:
    """The loaded C interface library, with its prototypes set."""
    global _lib
    with _lock:
        if _lib is None:
            loaded = _load()
            for name, (result, arguments) in _PROTOTYPES.items():
                function = getattr(loaded, name)
                function.restype = result
                function.argtypes = arguments
            _lib = loaded
    return _lib


def call(name: str, *arguments: Any) -> None:
    """Calls a status-returning function; a failure raises its exception
    with the library's text of the failure."""
    status = getattr(library(), name)(*arguments)
    if status != OK:
        _raise(status, name)


def text(name: str) -> str:
    """The text a function of the library returns."""
    result: Optional[bytes] = getattr(library(), name)()
    return (result or b"").decode("utf-8", "replace")
