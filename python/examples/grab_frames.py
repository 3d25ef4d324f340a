"""Grabs frames from camera 0 (the simulated camera where no camera SDK is
installed) and saves them as PNG files: with Pillow when it is installed,
else through the plug-in's image library."""
import argparse
import pathlib
import time

import ueye_grabber

try:
    from PIL import Image
except ImportError:
    Image = None


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("-n", "--frames", type=int, default=10)
    parser.add_argument("-o", "--output", default="frames")
    parser.add_argument("--no-save", action="store_true", help="only grab, for timing")
    args = parser.parse_args()
    folder = pathlib.Path(args.output)
    folder.mkdir(parents=True, exist_ok=True)

    # The parameter file framegrab.ini in the working directory, as framegrab uses.
    with ueye_grabber.Grabber(camera=0, params="framegrab.ini") as camera:
        print(f"Camera: {camera.width} x {camera.height}, {camera.bits_per_pixel} bits per pixel")
        numbers = []
        start = time.perf_counter()
        for number, frame in camera.live(count=args.frames):  # frame: H x W uint8
            numbers.append(number)  # gaps: frames that came while we were saving
            if args.no_save:
                continue
            path = folder / f"frame_{len(numbers) - 1:04d}.png"
            if Image is not None:
                Image.fromarray(frame).save(path, compress_level=1)  # fast, still lossless
            else:
                ueye_grabber.save(frame, path)
        seconds = time.perf_counter() - start
    missed = numbers[-1] - numbers[0] + 1 - len(numbers) if numbers else 0
    print(f"Grabbed {len(numbers)} frames in {seconds:.2f} s "
          f"({len(numbers) / seconds:.1f} frames per second, {missed} missed) into {folder}")


if __name__ == "__main__":
    main()
