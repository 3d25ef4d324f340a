"""What the package adds to an image call: resample2 on a 4096 x 3072
picture through the package (the array copied in, the result copied out)
against the same operation on an image handle alone, median of 5."""
import ctypes
import statistics
import time

import numpy as np

import ueye_grabber
from ueye_grabber._library import call
from ueye_grabber.images import METHODS, OVERFLOWS, _Image


def median_ms(run, repeat=5):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        run()
        times.append((time.perf_counter() - start) * 1000)
    return statistics.median(times)


def main() -> None:
    rng = np.random.default_rng(1)
    width, height = 4096, 3072
    new = (width * 5 // 4, height * 5 // 4)
    for name, shape in (("8 bpp grey", (height, width)), ("24 bpp", (height, width, 3))):
        picture = rng.integers(0, 256, shape, dtype=np.uint8)
        for method in ("bilinear", "bicubic2"):
            whole = median_ms(lambda: ueye_grabber.resample2(picture, *new, method))
            images = [_Image.from_array(picture) for _ in range(5)]
            pending = iter(images)

            def operation_only():
                call("ueye_image_resample2", next(pending).handle, *new, METHODS[method],
                     OVERFLOWS["repeat"])

            alone = median_ms(operation_only)
            for image in images:
                image.close()
            print(f"resample2 {method} x1.25, {name}: {whole:.1f} ms through the package, "
                  f"{alone:.1f} ms the operation alone: +{100 * (whole - alone) / alone:.1f}%")


if __name__ == "__main__":
    main()
