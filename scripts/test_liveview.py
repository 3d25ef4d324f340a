"""End-to-end test of framegrab's live view on the simulated camera.

Starts `framegrab --serve 127.0.0.1:0` in a fresh folder and checks, over
127.0.0.1 only: the status, the snapshot's pixels against the simulated
camera's pattern, the exposure round trip, bad requests, ten viewers at once
(frame rate kept, memory and descriptors flat), a slow viewer getting fresh
frames, the page in headless Chromium (the picture shown and moving), the
port-taken failure and a clean SIGTERM. Prints the speed figures it measures
and ends with "N passed, N failed". With --device, a few checks on another
camera: its picture, rate and exposure through the same server.

usage: test_liveview.py FRAMEGRAB [--screenshot PATH] [--device SPEC]
"""
import argparse
import http.client
import io
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

import numpy as np
from PIL import Image

HOST = "127.0.0.1"
CHROMIUM = "/usr/bin/chromium"
WIDTH, HEIGHT, RATE = 1280, 1024, 30.0

results = {"passed": 0, "failed": 0}


def check(name, ok, detail=""):
    results["passed" if ok else "failed"] += 1
    print(("ok    " if ok else "FAIL  ") + name + ("" if ok else ": " + str(detail)), flush=True)
    return ok


def request(port, method, path, body=None, headers=None, timeout=10):
    """Status, type and body of the answer; bodies are sent as JSON unless
    the headers say otherwise."""
    connection = http.client.HTTPConnection(HOST, port, timeout=timeout)
    if body is not None and headers is None:
        headers = {"Content-Type": "application/json"}
    try:
        connection.request(method, path, body=body, headers=headers or {})
        answer = connection.getresponse()
        return answer.status, answer.getheader("Content-Type", ""), answer.read()
    finally:
        connection.close()


def raw(port, data, timeout=10):
    """Sends bytes as they are; the status code of the answer, 0 when none."""
    with socket.create_connection((HOST, port), timeout=timeout) as s:
        try:
            s.sendall(data)
        except OSError:
            pass  # the server may refuse before all is sent
        reply = b""
        try:
            while b"\r\n" not in reply:
                chunk = s.recv(4096)
                if not chunk:
                    break
                reply += chunk
        except OSError:
            pass
    parts = reply.split(b" ", 2)
    return int(parts[1]) if len(parts) > 1 and parts[1].isdigit() else 0


def status(port):
    code, _, body = request(port, "GET", "/api/status")
    return json.loads(body) if code == 200 else {}


def pattern_frame(pixels):
    """The frame number n (mod 256) when every row y of the picture is
    (x + 2y + n_y) mod 256 with n_y at most 4 frames after the top row's n
    (the camera may write the next frame while one is read), else None."""
    x = np.arange(pixels.shape[1])
    n = (int(pixels[0, 0]) - 0) % 256
    for y in range(pixels.shape[0]):
        ny = (int(pixels[y, 0]) - 2 * y) % 256
        if (ny - n) % 256 > 4 or not np.array_equal(pixels[y], (x + 2 * y + ny) % 256):
            return None
    return n


def jpeg_frame(jpeg):
    """The frame number (mod 256) a JPEG of the pattern shows: the median of
    (value - x) over the top row where it does not wrap."""
    pixels = np.asarray(Image.open(io.BytesIO(jpeg)).convert("L"), dtype=np.int32)
    row = pixels[0, :]
    offsets = (row - np.arange(row.size)) % 256
    return int(np.median(offsets[8:120]))


class Viewer(threading.Thread):
    """Reads the stream and counts its JPEG parts; `pause` seconds between
    parts make it a slow viewer."""

    def __init__(self, port, seconds, pause=0.0, receive_buffer=None):
        super().__init__(daemon=True)
        self.port, self.seconds, self.pause = port, seconds, pause
        self.receive_buffer = receive_buffer
        self.parts, self.last_jpeg, self.error = 0, None, None
        self.fresh_lag = []  # slow viewer: frames between the part read and the newest

    def run(self):
        try:
            s = socket.socket()
            if self.receive_buffer:
                s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, self.receive_buffer)
            s.settimeout(10)
            s.connect((HOST, self.port))
            s.sendall(b"GET /stream.mjpg HTTP/1.1\r\nHost: x\r\n\r\n")
            stream = s.makefile("rb")
            line = stream.readline()
            if b" 200 " not in line:
                raise RuntimeError("stream answered " + line.decode(errors="replace"))
            while stream.readline() not in (b"\r\n", b""):
                pass
            end = time.time() + self.seconds
            while time.time() < end:
                if self.pause:
                    time.sleep(self.pause)
                headers = {}
                boundary = stream.readline()
                if not boundary.startswith(b"--frame"):
                    raise RuntimeError("bad part boundary %r" % boundary[:40])
                while True:
                    header = stream.readline().strip()
                    if not header:
                        break
                    key, _, value = header.partition(b":")
                    headers[key.strip().lower()] = value.strip()
                jpeg = stream.read(int(headers[b"content-length"]))
                stream.read(2)
                self.parts += 1
                self.last_jpeg = jpeg
                if self.pause:
                    newest = status(self.port)["frames"]
                    self.fresh_lag.append((newest - jpeg_frame(jpeg)) % 256)
            s.close()  # gone in the middle of the stream, as a closed tab is
        except Exception as error:  # noqa: BLE001 - reported by the test
            self.error = error


def process_figures(pid):
    """CPU seconds its threads used so far (to the nanosecond), resident
    memory in MiB, open descriptors."""
    cpu = 0.0
    for task in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/schedstat" % (pid, task)) as f:
                cpu += int(f.read().split()[0]) / 1e9
        except OSError:
            pass  # a thread that just ended
    with open("/proc/%d/status" % pid) as f:
        rss = next(int(l.split()[1]) for l in f if l.startswith("VmRSS")) / 1024
    return cpu, rss, len(os.listdir("/proc/%d/fd" % pid))


def cpu_share(pid, seconds):
    start = process_figures(pid)[0]
    time.sleep(seconds)
    return (process_figures(pid)[0] - start) / seconds


def screenshot(port, path, profile):
    subprocess.run([CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                    "--no-first-run", "--disable-background-networking",
                    "--disable-component-update", "--disable-sync",
                    "--user-data-dir=" + profile, "--screenshot=" + path,
                    "--window-size=1200,800", "http://%s:%d/" % (HOST, port)],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60, check=True)
    return np.asarray(Image.open(path).convert("L"), dtype=np.int32)


def picture_box(shot):
    """The largest run of rows that each hold the pattern's ramps: many
    neighbouring pixels rising by a little, and wraps from white to black.
    The page's panels and text have no such rows."""
    rows = []
    for y in range(shot.shape[0]):
        step = np.diff(shot[y])
        rising = np.count_nonzero((step >= 0) & (step <= 6))
        # Scaled down, a wrap spreads over two pixels.
        wraps = np.count_nonzero(shot[y, 2:] - shot[y, :-2] < -150)
        rows.append(rising > 300 and wraps >= 1 and np.ptp(shot[y]) > 200)
    best, start = (0, 0), None
    for y, flag in enumerate(rows + [False]):
        if flag and start is None:
            start = y
        if not flag and start is not None:
            best = max(best, (y - start, start))
            start = None
    return best  # (rows, first row)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("framegrab")
    parser.add_argument("--screenshot", help="keep the first screenshot here")
    parser.add_argument("--device", help="another camera than the simulated one, for a few checks")
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="liveview-")
    command = [os.path.abspath(args.framegrab), "--serve", HOST + ":0"]
    server = subprocess.Popen(command + (["--device", args.device] if args.device else []),
                              cwd=work, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    try:
        port, output = start(server)
        if port is not None and args.device:
            run_device(args, port)
            stop(server, output)
        elif port is not None:
            run(args, server, work, port, output)
    finally:
        if server.poll() is None:
            server.kill()
            server.wait()
        shutil.rmtree(work, ignore_errors=True)
    print("%d passed, %d failed" % (results["passed"], results["failed"]))
    return 1 if results["failed"] else 0


def start(server):
    """The port the server names once it listens, and its later output."""
    port, line = None, ""
    deadline = time.time() + 30
    while time.time() < deadline and port is None:
        line = server.stdout.readline().decode(errors="replace")
        if not line:
            break
        if line.startswith("Serving on http://%s:" % HOST):
            port = int(line.strip().rsplit(":", 1)[1].rstrip("/"))
    if not check("prints Serving on http://127.0.0.1:PORT/ with the port it picked",
                 port is not None and port > 0, line):
        return None, []
    # The rest of its output is read, so that it never blocks on a full pipe.
    output = []
    threading.Thread(target=lambda: output.extend(server.stdout), daemon=True).start()
    return port, output


def stop(server, output):
    """SIGTERM: live video stopped, parameters stored, exit 0."""
    server.send_signal(signal.SIGTERM)
    try:
        code = server.wait(timeout=10)
    except subprocess.TimeoutExpired:
        code = None
    check("SIGTERM ends it with status 0", code == 0, (code, "".join(
        l.decode(errors="replace") for l in output)[-300:]))


def run_device(args, port):
    """Another camera: its picture, rate and exposure reach the browser."""
    time.sleep(1.5)
    s = status(port)
    check("status names the camera", s.get("device") == args.device, s.get("device"))
    check("status: a frame rate measured", s.get("fps", 0) > 5, s.get("fps"))
    code, kind, png = request(port, "GET", "/snapshot.png")
    image = Image.open(io.BytesIO(png)) if code == 200 else None
    check("snapshot is a PNG of the camera's size",
          image is not None and image.size == (s.get("width"), s.get("height")), code)
    viewer = Viewer(port, 2)
    viewer.start()
    viewer.join()
    check("the stream gives the camera's frames", viewer.error is None and
          viewer.parts > 2 * s.get("fps", 0) * 0.6, (viewer.error, viewer.parts))
    low, high = s.get("exposure_range_us", [0, 0])
    wanted = max(low, min(high, 20000))
    code, _, body = request(port, "POST", "/api/exposure", json.dumps({"exposure_us": wanted}))
    taken = json.loads(body).get("exposure_us") if code == 200 else None
    check("exposure round trip", taken is not None and abs(taken - wanted) <= wanted * 0.05 and
          status(port).get("exposure_us") == taken, (code, body))


def run(args, server, work, port, output):
    """The simulated camera, every check."""
    pid = server.pid

    time.sleep(1.5)
    s = status(port)
    fields = ["fps", "frames", "missed", "exposure_us", "exposure_range_us", "width", "height",
              "device", "simd_level"]
    check("status has every field", all(f in s for f in fields), s.keys())
    check("status: the camera's size and device",
          (s.get("width"), s.get("height"), s.get("device")) == (WIDTH, HEIGHT, "sim"), s)
    check("status: measured rate near the camera's", abs(s.get("fps", 0) - RATE) < 6, s)
    low, high = s.get("exposure_range_us", [0, 0])
    check("status: exposure within its range", 0 < low <= s.get("exposure_us", 0) <= high, s)
    check("status: histogram of 256 levels covering the frame",
          len(s.get("histogram", [])) == 256 and sum(s["histogram"]) == WIDTH * HEIGHT)

    code, kind, page = request(port, "GET", "/")
    check("page served as HTML with the stream in it",
          code == 200 and kind.startswith("text/html") and b"/stream.mjpg" in page, code)
    check("page uses nothing from other sites",
          b"http://" not in page and b"https://" not in page and b'src="//' not in page)

    # Snapshots: the picture the grabber gives, right way up, and fresh.
    numbers = []
    for _ in range(2):
        code, kind, png = request(port, "GET", "/snapshot.png")
        image = Image.open(io.BytesIO(png))
        pixels = np.asarray(image)
        palette = np.array(image.getpalette()[:768]).reshape(-1, 3)
        check("snapshot is a %dx%d 8-bit grey-palette PNG" % (WIDTH, HEIGHT),
              code == 200 and kind == "image/png" and image.mode == "P" and
              pixels.shape == (HEIGHT, WIDTH) and
              np.array_equal(palette, np.repeat(np.arange(256), 3).reshape(256, 3)),
              (code, kind, image.mode, pixels.shape))
        numbers.append(pattern_frame(pixels))
        check("snapshot pixels are (x + 2y + n) mod 256, row 0 at the top",
              numbers[-1] is not None)
        time.sleep(0.2)
    check("a later snapshot is a later frame",
          None not in numbers and numbers[0] != numbers[1], numbers)

    # Exposure: the camera's value comes back, and the other requests and
    # frames go on while the grabber waits half a second for it to settle.
    answer = {}

    def set_exposure():
        answer["reply"] = request(port, "POST", "/api/exposure",
                                  json.dumps({"exposure_us": 100010}))

    setter = threading.Thread(target=set_exposure)
    setter.start()
    time.sleep(0.05)
    started = time.time()
    first = status(port)
    time.sleep(0.15)
    last = status(port)
    waited = time.time() - started
    settling = setter.is_alive()
    setter.join()
    code, _, body = answer["reply"]
    taken = json.loads(body).get("exposure_us") if code == 200 else None
    check("exposure round trip: the camera's quantised value", code == 200 and taken == 100000,
          (code, body))
    check("status shows the exposure taken", status(port)["exposure_us"] == taken)
    check("status answers and frames go on while the exposure settles",
          settling and waited < 0.45 and last["frames"] > first["frames"],
          (settling, waited, first["frames"], last["frames"]))

    # Bad requests: a short 4xx reason each, and the server goes on.
    bad = [
        ("unknown path", lambda: request(port, "GET", "/nothing")[0], 404),
        ("path out of the page", lambda: raw(port, b"GET /../framegrab.ini HTTP/1.1\r\n\r\n"), 404),
        ("wrong method", lambda: request(port, "GET", "/api/exposure")[0], 405),
        ("bad JSON", lambda: request(port, "POST", "/api/exposure", "{exposure")[0], 400),
        ("not a number", lambda: request(port, "POST", "/api/exposure",
                                         '{"exposure_us": "fast"}')[0], 400),
        ("NaN", lambda: request(port, "POST", "/api/exposure", '{"exposure_us": NaN}')[0], 400),
        ("out of range", lambda: request(port, "POST", "/api/exposure",
                                         '{"exposure_us": 1e12}')[0], 400),
        ("not JSON", lambda: request(port, "POST", "/api/exposure", '{"exposure_us": 5000}',
                                     {"Content-Type": "text/plain"})[0], 415),
        ("malformed request", lambda: raw(port, b"GARBAGE\r\n\r\n"), 400),
        ("oversized header", lambda: raw(port, b"GET / HTTP/1.1\r\nX: " + b"a" * 20000 +
                                         b"\r\n\r\n"), 431),
        ("oversized body", lambda: raw(port, b"POST /api/exposure HTTP/1.1\r\nContent-Length: "
                                       b"100000\r\n\r\n" + b"{" * 100000), 413),
    ]
    for name, send, expected in bad:
        got = send()
        check("bad request answered %d: %s" % (expected, name), got == expected, got)
    check("still serving after the bad requests", status(port).get("width") == WIDTH)

    # Speed: the process without a viewer, then with one at the camera's rate.
    idle = cpu_share(pid, 4)
    viewer = Viewer(port, 5)
    viewer.start()
    time.sleep(0.5)
    frames_before = viewer.parts
    watched = cpu_share(pid, 4)
    frames_sent = viewer.parts - frames_before
    viewer.join()
    encode_ms = status(port)["encode_ms"]
    per_frame_ms = (watched - idle) * 4 / max(frames_sent, 1) * 1000
    print("speed: %.1f%% of a core idle, %.1f%% with one viewer at %.1f fps: +%.1f%%; "
          "%.2f ms of CPU per frame encoded and served (JPEG encoding alone %.2f ms)"
          % (idle * 100, watched * 100, frames_sent / 4, (watched - idle) * 100,
             per_frame_ms, encode_ms), flush=True)
    check("encoding and serving a frame costs under 10 ms of CPU", per_frame_ms < 10,
          per_frame_ms)
    check("one viewer costs under a quarter of a core", watched - idle < 0.25,
          (idle, watched))
    check("one viewer gets the camera's rate", frames_sent / 4 > RATE * 0.8, frames_sent / 4)

    # Ten viewers at once, then gone mid-stream: rate kept, memory and
    # descriptors back where they were.
    _, rss_before, fds_before = process_figures(pid)
    viewers = [Viewer(port, 4) for _ in range(10)]
    for v in viewers:
        v.start()
    rss_during = []
    for _ in range(6):
        time.sleep(0.5)
        rss_during.append(process_figures(pid)[1])
    fps_during = status(port)["fps"]
    for v in viewers:
        v.join()
    time.sleep(1)
    _, rss_after, fds_after = process_figures(pid)
    errors = [v.error for v in viewers if v.error]
    check("ten viewers stream without error", not errors, errors[:1])
    check("ten viewers each get most frames", min(v.parts for v in viewers) > 4 * RATE * 0.6,
          [v.parts for v in viewers])
    check("camera rate kept with ten viewers", fps_during > RATE * 0.8, fps_during)
    print("memory: %.0f MiB before ten viewers, %.0f-%.0f MiB during, %.0f MiB after"
          % (rss_before, min(rss_during), max(rss_during), rss_after), flush=True)
    check("memory flat with ten viewers", max(rss_during) - rss_before < 48 and
          rss_after - rss_before < 24, (rss_before, rss_during, rss_after))
    check("viewers gone leave no descriptor behind", fds_after <= fds_before, (fds_before,
                                                                               fds_after))

    # A slow viewer skips frames: what it reads is recent, not a backlog.
    # Read at two frames a second, frames queued for it would grow older by
    # 14 frames with each read, past 100 by the eighth; skipped, their age
    # stays what the sockets' buffers hold, one or two reads' worth.
    slow = Viewer(port, 4, pause=0.5, receive_buffer=16384)
    slow.start()
    slow.join()
    check("a slow viewer gets recent frames, not a queue",
          slow.error is None and len(slow.fresh_lag) >= 6 and max(slow.fresh_lag) < 50,
          (slow.error, slow.fresh_lag))

    # The page in a real browser: the picture shown, and moving.
    profile = tempfile.mkdtemp(prefix="liveview-chromium-")
    try:
        shots = []
        for i in range(2):
            path = os.path.join(profile, "shot%d.png" % i)
            shots.append(screenshot(port, path, profile))
            if i == 0 and args.screenshot:
                shutil.copy(path, args.screenshot)
            time.sleep(1)
        boxes = [picture_box(s) for s in shots]
        check("headless Chromium shows the picture",
              all(rows > 300 for rows, _ in boxes), boxes)
        rows, top = boxes[0]
        region = slice(top, top + rows)
        changed = np.mean(np.abs(shots[0][region] - shots[1][region]) > 8)
        check("two screenshots a second apart differ", changed > 0.2, changed)
    finally:
        shutil.rmtree(profile, ignore_errors=True)

    # The port in use: a clear message and a failure status.
    taken_port = subprocess.run([os.path.abspath(args.framegrab), "--serve", "%s:%d" % (HOST, port)],
                                cwd=work, capture_output=True, text=True, timeout=60)
    check("a port in use fails with a clear message",
          taken_port.returncode != 0 and "cannot serve on" in taken_port.stderr,
          (taken_port.returncode, taken_port.stderr[-200:]))

    # SIGTERM: live video stopped, parameters stored, exit 0.
    stop(server, output)
    parameters = os.path.join(work, "framegrab.ini")
    stored = open(parameters).read() if os.path.exists(parameters) else ""
    check("the camera's parameters were stored", "ExposureMs=100\n" in stored, stored)


if __name__ == "__main__":
    sys.exit(main())
