"""The splash screen with the Linux JDK's own splash-screen library on a private X display:
the launcher's splash sequence (compiled natively into the host) shows the image before the
JVM is created, the JVM finds it through java.awt.SplashScreen, and the Java-side runtime
draws the configured texts on it and redraws them when the application asks. Screenshots of
the display are the evidence."""
import json
import shutil
import struct
import subprocess
import zlib

import pytest

from conftest import JDK, JAVA_ENV
from test_real_jvm import LAUNCHER_PATH, settings_for

SCREEN = (800, 600)
GREEN = (0x12, 0xAB, 0x34)
IMAGE_SIZE = (240, 140)


def png_bytes(width, height, rgb):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\0" + bytes(rgb) * width for _ in range(height))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")


class Screen:
    """One screenshot of the display's root window as RGB pixels."""

    def __init__(self, display, path):
        subprocess.run(["import", "-display", display, "-window", "root", str(path)], check=True, timeout=30,
                       env={**JAVA_ENV, "DISPLAY": display})
        raw = subprocess.run(["convert", str(path), "-depth", "8", "rgb:-"], check=True, capture_output=True,
                             timeout=30).stdout
        assert len(raw) == SCREEN[0] * SCREEN[1] * 3
        self.raw = raw

    def pixel(self, x, y):
        at = (y * SCREEN[0] + x) * 3
        return tuple(self.raw[at:at + 3])

    def box_of(self, colour):
        """(left, top, right, bottom) of the pixels of exactly `colour`, or None."""
        found = [(i // 3 % SCREEN[0], i // 3 // SCREEN[0]) for i in range(0, len(self.raw), 3)
                 if tuple(self.raw[i:i + 3]) == colour]
        if not found:
            return None
        xs, ys = [p[0] for p in found], [p[1] for p in found]
        return min(xs), min(ys), max(xs), max(ys)

    def pixels(self, box, test):
        """The pixels (x, y) inside `box` (relative to it: left, top, right, bottom exclusive)
        whose colour passes `test`."""
        left, top, right, bottom = box
        return [(x, y) for y in range(top, bottom) for x in range(left, right) if test(self.pixel(x, y))]


def read_line(process, prefix):
    while True:
        line = process.stdout.readline().decode("utf-8")
        assert line, (prefix, process.stderr.read().decode("utf-8", "replace") if process.poll() is not None else "")
        if line.startswith(prefix):
            return json.loads(line[len(prefix):])


@pytest.fixture(scope="module")
def tools():
    for tool in ("import", "convert"):
        if shutil.which(tool) is None:
            pytest.fail(f"ImageMagick's {tool} is missing: run scripts/install-deps.sh")


def test_the_image_is_shown_before_the_jvm_and_the_texts_are_drawn_and_redrawn(host, built, tmp_path, tools,
                                                                                xvfb_display):
    image = tmp_path / "splash.png"
    image.write_bytes(png_bytes(*IMAGE_SIZE, GREEN))
    settings = settings_for(built, main="probe.SplashApp", more={
        30401: str(image), 108: "1", 10111: "Loading", 10109: "12", 10110: "30",
        10114: "v1.0", 10113: "-8", 10115: "-10"})
    library = JDK / "lib" / "libsplashscreen.so"
    process = host.start(settings, LAUNCHER_PATH, extra=[f"splash-library {library}"], env={"DISPLAY": xvfb_display})
    try:
        report = read_line(process, "SPLASH ")
        # The JVM found the splash the launcher's sequence had shown.
        assert report["present"] and report["shown"]
        assert report["texts"] == ["Loading", "v1.0", "", ""]
        assert report["url"] == image.as_uri().replace("file:///", "file:/")
        x, y, width, height = report["bounds"]
        assert (width, height) == IMAGE_SIZE

        first = Screen(xvfb_display, tmp_path / "first.png")
        # The image is on the screen where the JVM says the splash window is: the green block's
        # corners are green unless a text covers them.
        box = first.box_of(GREEN)
        assert box is not None and box[0] == x and box[1] == y
        assert box[2] == x + width - 1 and box[3] == y + height - 1
        not_green = lambda rgb: rgb != GREEN
        dark = lambda rgb: max(rgb) < 90
        image_box = (x, y, x + width, y + height)
        # Black text of group 1 starts at (12, baseline 30); group 2 ends 8 pixels from the
        # right edge with its baseline 10 pixels above the bottom. Nothing else is drawn.
        text1_box = (x + 12, y + 30 - 16, x + 12 + 80, y + 30 + 5)
        text2_box = (x + width - 8 - 50, y + height - 10 - 16, x + width - 8, y + height - 10 + 5)
        drawn = first.pixels(image_box, not_green)
        assert len(first.pixels(text1_box, dark)) > 20 and len(first.pixels(text2_box, dark)) > 10
        outside = [p for p in drawn if not (_inside(p, text1_box) or _inside(p, text2_box))]
        assert outside == []
        # Right-aligned: its last drawn column lies just before its end.
        right_end = max(p[0] for p in first.pixels(text2_box, not_green))
        assert x + width - 8 - 4 <= right_end < x + width - 8

        process.stdin.write(b"next\n")
        process.stdin.flush()
        assert read_line(process, "UPDATED ") == {"color": True, "text": True}
        second = Screen(xvfb_display, tmp_path / "second.png")
        magenta = lambda rgb: rgb[0] > 120 and rgb[2] > 120 and rgb[1] < 120
        # Both texts are redrawn in the new colour, the first one with its new text; no black
        # is left of the old drawing.
        assert len(second.pixels(text1_box, magenta)) > 10 and len(second.pixels(text2_box, magenta)) > 5
        assert second.pixels(image_box, dark) == []
        assert second.pixels(text1_box, not_green) != first.pixels(text1_box, not_green)

        process.stdin.write(b"quit\n")
        process.stdin.flush()
        stdout, stderr = process.communicate(timeout=60)
    finally:
        if process.poll() is None:
            process.kill()
            process.communicate()
    assert process.returncode == 0, stderr.decode("utf-8", "replace")
    log = [line[len("launcher-log: "):] for line in stderr.decode("utf-8").splitlines()
           if line.startswith("launcher-log: ")]
    assert f"splash image {image} (PNG, {image.stat().st_size} bytes)" in log
    assert log.index("splash screen shown") < log.index("Creating JVM")


def _inside(point, box):
    return box[0] <= point[0] < box[2] and box[1] <= point[1] < box[3]
