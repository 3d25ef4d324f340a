"""The camera: open, live video, frames as numpy arrays."""
from __future__ import annotations

import ctypes
from typing import Iterator, List, Optional, Tuple

import numpy as np

from ._library import E_STATE, GrabberError, call, integer


def _timeout_ms(timeout: float) -> int:
    if isinstance(timeout, bool) or not isinstance(timeout, (int, float)):
        raise ValueError(f"timeout must be a number of seconds, not {timeout!r}")
    if not 0 <= timeout <= 86400:
        raise ValueError(f"timeout must be from 0 to 86400 seconds, not {timeout!r}")
    return int(round(timeout * 1000))


def list_devices() -> List[Tuple[str, str]]:
    """The cameras that can be opened: ``(device, description)`` pairs,
    where ``device`` is what :class:`Grabber` takes (``"sim"``,
    ``"genicam:ID"``)."""
    size = 4096
    while True:
        text = ctypes.create_string_buffer(size)
        needed = ctypes.c_size_t()
        call("ueye_list_devices", text, size, ctypes.byref(needed))
        if needed.value <= size:
            break
        size = needed.value
    lines = text.value.decode("utf-8", "replace").splitlines()
    return [tuple(line.split("\t", 1)) if "\t" in line else (line, "") for line in lines]


class Grabber:
    """Camera ``camera`` (only 0 exists) with its parameter file ``params``
    in the working directory, opened at once and closed by :meth:`close` or
    at the end of a ``with`` block.

    ``device`` chooses the camera: ``"sim"`` (the platform's own),
    ``"genicam"`` (the first GenICam camera found) or ``"genicam:ID"`` (the
    one whose id, address or serial number is ID); ``None`` takes the
    environment variable ``UEYE_GRABBER_DEVICE``, else ``"sim"``.

    Frames are ``H x W`` ``uint8`` arrays, top row first, each the camera's
    bytes copied once into a new array::

        with Grabber() as camera:
            frame = camera.snap()
            for number, frame in camera.live(count=100):
                ...
    """

    def __init__(
        self, camera: int = 0, params: str = "framegrab.ini", device: Optional[str] = None
    ) -> None:
        if isinstance(camera, bool) or not isinstance(camera, int):
            raise ValueError(f"camera must be an integer, not {camera!r}")
        if not 0 <= camera < 2**32:
            raise ValueError(f"no camera {camera}: only camera 0 is served")
        if not isinstance(params, str):
            raise ValueError(f"params must be a file name, not {params!r}")
        if device is not None and not isinstance(device, str):
            raise ValueError(f"device must be a text such as 'genicam:ID', not {device!r}")
        handle = ctypes.c_void_p()
        call(
            "ueye_grabber_open_device",
            camera,
            params.encode(),
            None if device is None else device.encode(),
            ctypes.byref(handle),
        )
        self._handle: Optional[int] = handle.value
        self._live = False
        self.missed = 0  # frames live() did not yield since the grabber was opened
        width, height, bpp = ctypes.c_int32(), ctypes.c_int32(), ctypes.c_int32()
        self._call(
            "ueye_grabber_size", ctypes.byref(width), ctypes.byref(height), ctypes.byref(bpp)
        )
        self.width: int = width.value
        self.height: int = height.value
        self.bits_per_pixel: int = bpp.value

    # ---- lifetime ----

    def _call(self, name: str, *arguments: object) -> None:
        if self._handle is None:
            raise GrabberError("the grabber is closed", E_STATE)
        call(name, self._handle, *arguments)

    def _get(self, name: str, kind: type) -> int:
        value = kind()
        self._call(name, ctypes.byref(value))
        return value.value

    def close(self) -> None:
        """Stops live video, stores the camera's parameters and closes it.
        Closing twice does nothing."""
        if self._handle is not None:
            handle, self._handle = self._handle, None
            self._live = False
            call("ueye_grabber_close", handle)

    @property
    def closed(self) -> bool:
        return self._handle is None

    def __enter__(self) -> "Grabber":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __del__(self) -> None:
        try:
            self.close()
        except Exception:
            pass

    # ---- settings ----

    @property
    def shape(self) -> Tuple[int, int]:
        """(height, width) of a frame."""
        return (self.height, self.width)

    @property
    def description(self) -> str:
        text = ctypes.create_string_buffer(256)
        self._call("ueye_grabber_description", text, len(text))
        return text.value.decode("utf-8", "replace")

    @property
    def exposure_range(self) -> Tuple[int, int]:
        """(shortest, longest) exposure in microseconds."""
        low, high = ctypes.c_int32(), ctypes.c_int32()
        self._call("ueye_grabber_exposure_range", ctypes.byref(low), ctypes.byref(high))
        return (low.value, high.value)

    @property
    def exposure(self) -> int:
        """Exposure in microseconds. Setting it waits for the camera to
        settle (at least 0.3 s) and keeps what the camera took, rounded to
        its line time; values outside :attr:`exposure_range` raise
        ValueError."""
        return self._get("ueye_grabber_get_exposure", ctypes.c_uint32)

    @exposure.setter
    def exposure(self, microseconds: int) -> None:
        low, high = self.exposure_range
        if not isinstance(microseconds, bool) and hasattr(microseconds, "__index__"):
            if not low <= microseconds.__index__() <= high:
                raise ValueError(
                    f"exposure {microseconds} lies outside {low} to {high} microseconds"
                )
        self._call("ueye_grabber_set_exposure", integer(microseconds, "exposure"), None)

    @property
    def gain(self) -> int:
        """Camera gain; GrabberError where the camera family has none."""
        return self._get("ueye_grabber_get_gain", ctypes.c_int32)

    @gain.setter
    def gain(self, value: int) -> None:
        self._call("ueye_grabber_set_gain", integer(value, "gain"))

    def auto_gain(self) -> None:
        """Lets the camera adjust its gain."""
        self._call("ueye_grabber_auto_gain")

    @property
    def negative(self) -> bool:
        """Frames delivered inverted (255 - v)."""
        return bool(self._get("ueye_grabber_get_negative", ctypes.c_int32))

    @negative.setter
    def negative(self, value: bool) -> None:
        if not isinstance(value, (bool, np.bool_)):
            raise ValueError(f"negative must be True or False, not {value!r}")
        self._call("ueye_grabber_set_negative", int(bool(value)))

    # ---- frames ----

    @property
    def is_live(self) -> bool:
        return self._live

    def start_live(self) -> None:
        """Starts live video; frames then arrive at the camera's rate."""
        self._call("ueye_grabber_start_live")
        self._live = True

    def stop_live(self) -> None:
        self._call("ueye_grabber_stop_live")
        self._live = False

    def wait_frame(self, timeout: float = 1.0) -> Tuple[int, int]:
        """Waits for a frame newer than the last one waited for; returns its
        number (counted from 1 since the camera was opened) and how many
        frames the camera sent unseen before it (incomplete ones, which are
        dropped, included)."""
        frame, missed = ctypes.c_uint64(), ctypes.c_uint64()
        self._call(
            "ueye_grabber_wait_frame",
            _timeout_ms(timeout),
            ctypes.byref(frame),
            ctypes.byref(missed),
        )
        return frame.value, missed.value

    @property
    def counters(self) -> Tuple[int, int, bool]:
        """(frames the camera delivered whole, frames it dropped because they
        arrived incomplete, whether it no longer answers), since it was
        opened."""
        delivered, dropped, lost = ctypes.c_uint64(), ctypes.c_uint64(), ctypes.c_int32()
        self._call(
            "ueye_grabber_counters",
            ctypes.byref(delivered),
            ctypes.byref(dropped),
            ctypes.byref(lost),
        )
        return delivered.value, dropped.value, bool(lost.value)

    def copy_frame(self, out: Optional[np.ndarray] = None) -> np.ndarray:
        """The frame in the camera's memory now, copied once into ``out``
        (an ``H x W`` ``uint8`` array whose rows are contiguous) or into a
        new array."""
        if out is None:
            out = np.empty(self.shape, dtype=np.uint8)
        elif (
            not isinstance(out, np.ndarray)
            or out.dtype != np.uint8
            or out.shape != self.shape
            or out.strides[1] != 1
            or out.strides[0] < self.width
            or not out.flags.writeable
        ):
            raise ValueError(
                f"out must be a writeable {self.height} x {self.width} uint8 array "
                "with contiguous rows"
            )
        stride = out.strides[0]
        size = stride * (self.height - 1) + self.width
        self._call("ueye_grabber_copy_frame", out.ctypes.data, stride, size)
        return out

    def snap(self, timeout: float = 1.0) -> np.ndarray:
        """The next frame. Without live video, live video runs for this one
        frame."""
        started = not self._live
        if started:
            self.start_live()
        try:
            self.wait_frame(timeout)
            return self.copy_frame()
        finally:
            if started:
                self.stop_live()

    def live(
        self, count: Optional[int] = None, timeout: float = 1.0
    ) -> Iterator[Tuple[int, np.ndarray]]:
        """Yields ``(frame_number, frame)`` for each new frame, ``count``
        times or until the loop ends. Gaps in the numbers are frames the
        loop was too slow for; :attr:`missed` counts those and the frames the
        camera dropped as incomplete. Live video started here stops at the
        end."""
        if count is not None and integer(count, "count") < 0:
            raise ValueError(f"count must be a number of frames, not {count!r}")
        timeout_ms = _timeout_ms(timeout)
        started = not self._live
        if started:
            self.start_live()
        try:
            taken = 0
            while count is None or taken < count:
                number, missed = self.wait_frame(timeout_ms / 1000)
                self.missed += missed
                yield number, self.copy_frame()
                taken += 1
        finally:
            if started and self._handle is not None:
                self.stop_live()
