"""The splash image: the launcher loads the chosen runtime's bin\\splashscreen.dll by its full
path and hands it the configured image before the JVM is created. The stand-in runtime's
splashscreen.dll (testruntime/splashscreen) records its loading and every call with the
exact image bytes; the stand-in jvm.dll's records in the same file give the order."""
import struct
import zlib

import pytest

from conftest import winpath
from runtimes import standin_file
from test_run import App

IMAGE_SETTING = 30401


def png_bytes(width=4, height=3, rgb=(0x12, 0xAB, 0x34)):
    """A valid PNG of one colour."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\0" + bytes(rgb) * width for _ in range(height))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")


GIF = b"GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff,\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02D\x01\x00;"


@pytest.fixture
def app(wine, pack, tmp_path):
    def make(with_library=True, **kwargs):
        a = App(wine, pack, tmp_path, **kwargs)
        if with_library:
            (a.jre.root / "bin" / "splashscreen.dll").write_bytes(standin_file("splashscreen.dll", 64).read_bytes())
        return a
    return make


def splash_calls(run):
    return [r for r in run.records if r.kind == "splash-call"]


def assert_shown_before_the_jvm(run, library, image):
    run.assert_clean()
    [load] = run.of("splash-load")
    assert load["module"].lower() == winpath(library).lower()
    calls = splash_calls(run)
    assert [c["function"] for c in calls] == ["SplashInit", "SplashLoadMemory", "SplashSetFileJarName"]
    assert calls[1]["size"] == str(len(image)) and calls[1]["hex"] == image.hex()
    assert calls[2].get("jar.null") == "1"
    assert run.records.index(calls[2]) < run.records.index(run.create())
    assert f"loaded splash screen library {winpath(library)}".lower() in [line.lower() for line in run.log]
    assert "splash screen shown" in run.log
    return calls[2]["file"]


def test_an_image_beside_the_launcher_is_shown_through_the_runtimes_library(app):
    image = png_bytes()
    a = app(settings={IMAGE_SETTING: "${RAVEL_EXEDIR}art\\splash.png"})
    (a.dir / "art").mkdir()
    (a.dir / "art" / "splash.png").write_bytes(image)
    run = a.run()
    file = assert_shown_before_the_jvm(run, a.jre.root / "bin" / "splashscreen.dll", image)
    assert file == winpath(a.dir / "art" / "splash.png")
    assert f"splash image {file} (PNG, {len(image)} bytes)" in run.log


def test_an_included_image_is_read_from_the_extraction_directory(app):
    a = app(settings={IMAGE_SETTING: "img/Splash.gif"}, files={"img\\splash.gif": GIF})
    run = a.run()
    file = assert_shown_before_the_jvm(run, a.jre.root / "bin" / "splashscreen.dll", GIF)
    assert file == run.option("-Dravel.tempDir=") + "\\img\\splash.gif"


@pytest.mark.parametrize("case", ["no library", "not an image", "missing image", "refused", "service"])
def test_without_a_splash_the_launch_goes_on(app, case):
    a = app(with_library=case != "no library", settings={IMAGE_SETTING: "splash.png"})
    (a.dir / "splash.png").write_bytes(b"<svg/>" if case == "not an image" else png_bytes())
    if case == "missing image":
        (a.dir / "splash.png").unlink()
    if case == "refused":
        a.jre.set_release(STANDIN_SPLASH_RESULT="0")
    run = a.run(args=("RunTest", "__qwk_restart") if case == "service" else ("/run-redirect",))
    run.assert_clean()
    assert run.static_calls("main")
    expected = {
        "no library": f"no splash screen library {winpath(a.jre.root / 'bin' / 'splashscreen.dll')} in the runtime, "
                      "starting without a splash screen",
        "not an image": f"ERROR: splash image {winpath(a.dir / 'splash.png')} is not a PNG, GIF or JPEG image",
        "missing image": f"ERROR: splash image {winpath(a.dir / 'splash.png')} could not be opened (error 2)",
        "refused": "ERROR: the splash screen library could not show the image",
        "service": "no splash screen in a service",
    }[case]
    # The runtime's paths are logged as the search lower-cased them.
    assert expected.lower() in [line.lower() for line in run.log]
    assert "splash screen shown" not in run.log
    # The library is loaded only for an image it can be given.
    assert bool(run.of("splash-load")) == (case == "refused")


def test_without_the_image_setting_the_library_is_left_alone(app):
    a = app(settings={108: "1", 10111: "Loading", 10109: "10", 10110: "20"})
    run = a.run()
    run.assert_clean()
    assert not run.of("splash-load")
    assert run.static_calls("initAwtSplashConfig")
    assert not [line for line in run.log if "splash" in line.lower()]
