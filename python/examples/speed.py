"""What the package adds to an image call: resample2 of a 4096 x 3072
picture to 5/4 of its size through the package (the array copied in, the
result copied out into a new array, or into a reused one with out=)
against the same operation on an image handle alone. The variants
alternate; the fastest of 9 runs of each counts."""
import time

import numpy as np

import ueye_grabber
from ueye_grabber._library import call
from ueye_grabber.images import METHODS, OVERFLOWS, _Image


def timed_ms(run) -> float:
    start = time.perf_counter()
    run()
    return (time.perf_counter() - start) * 1000


def main() -> None:
    rng = np.random.default_rng(1)
    width, height = 4096, 3072
    size = (width * 5 // 4, height * 5 // 4)
    for name, shape in (("8 bpp grey", (height, width)), ("24 bpp", (height, width, 3))):
        picture = rng.integers(0, 256, shape, dtype=np.uint8)
        out = ueye_grabber.resample2(picture, *size)
        for method in ("bilinear", "bicubic2"):
            fresh, reused, alone = [], [], []
            for _ in range(9):
                fresh.append(timed_ms(lambda: ueye_grabber.resample2(picture, *size, method)))
                reused.append(
                    timed_ms(lambda: ueye_grabber.resample2(picture, *size, method, out=out)))
                with _Image.from_array(picture) as image:
                    alone.append(timed_ms(lambda: call(
                        "ueye_image_resample2", image.handle, *size, METHODS[method],
                        OVERFLOWS["repeat"])))
            base = min(alone)
            print(f"resample2 {method} x1.25, {name}: {base:.1f} ms the operation alone; "
                  f"through the package {min(fresh):.1f} ms "
                  f"({100 * (min(fresh) - base) / base:+.1f}%), "
                  f"into a reused array {min(reused):.1f} ms "
                  f"({100 * (min(reused) - base) / base:+.1f}%)")


if __name__ == "__main__":
    main()
