"""The native window border: the launchers' export tables, and the border's behaviour on real
windows under wine64 with an Xvfb display.

The window tests run testtools/bordertest, which compiles the border's sources together with
a fake JNI environment, creates frames and drives the six functions; each scenario prints one
"ok - ..." or "FAIL - ..." line per check. The launcher itself cannot be loaded as a module to
call its exports (its code expects its own process start-up), so its export table is checked
with objdump against the exact names the JVM looks up.
"""
import os
import re
import subprocess

import pytest

from conftest import BUILD, DIST, WINE64, xvfb_display

BORDERTEST = BUILD / "win64" / "bordertest.exe"
PREFIX_CLASS = "Java_com_quillwork_runtime_flatlaf_FlatWindowsNativeWindowBorder_"
EXPORTS = {  # name -> argument bytes of the 32-bit standard-call form
    "00024WndProc_installImpl": 16,
    "00024WndProc_uninstallImpl": 16,
    "00024WndProc_updateFrame": 20,
    "00024WndProc_setWindowBackground": 28,
    "00024WndProc_showWindow": 20,
    "registryGetIntValue": 20,
}


def export_names(objdump, exe):
    """The names of the export table's name-pointer table, as objdump lists them."""
    listing = subprocess.run([objdump, "-p", str(exe)], stdout=subprocess.PIPE, check=True, text=True).stdout
    table = re.search(r"\[Ordinal/Name Pointer\] Table\n(.*?)(?:\n\s*\n|\Z)", listing, re.S)
    assert table, f"{exe.name} has no export name table"
    return sorted(re.findall(r"^\s*\[\s*\d+\]\s+(\S+)\s*$", table.group(1), re.M))


def test_32_bit_launcher_exports_exactly_the_decorated_jni_names():
    expected = sorted(f"_{PREFIX_CLASS}{name}@{size}" for name, size in EXPORTS.items())
    assert export_names("i686-w64-mingw32-objdump", DIST / "launcher32.exe") == expected


def test_64_bit_launcher_exports_exactly_the_plain_jni_names():
    expected = sorted(PREFIX_CLASS + name for name in EXPORTS)
    assert export_names("x86_64-w64-mingw32-objdump", DIST / "launcher64.exe") == expected


def test_both_launchers_import_user32_only_through_delay_loading():
    """A direct import would map user32.dll at every start; the launcher needs it only for
    windows (message boxes, raising another instance, the window border)."""
    for objdump, exe in (("i686-w64-mingw32-objdump", DIST / "launcher32.exe"),
                         ("x86_64-w64-mingw32-objdump", DIST / "launcher64.exe")):
        listing = subprocess.run([objdump, "-p", str(exe)], stdout=subprocess.PIPE, check=True, text=True).stdout
        imported = [name.lower() for name in re.findall(r"DLL Name: (\S+)", listing)]
        assert "kernel32.dll" in imported and "advapi32.dll" in imported, (exe.name, imported)
        assert "user32.dll" not in imported, (exe.name, imported)
        # The delay-load descriptors name the DLL in the data of the executable.
        assert b"USER32.dll" in exe.read_bytes(), exe.name


# --- real windows ---------------------------------------------------------------------------

@pytest.fixture(scope="module")
def display(wine):
    """A private Xvfb display for this module; the Wine server is restarted around it so that
    no Wine process of the prefix keeps a connection to another display."""
    with xvfb_display(wine, tools=("Xvfb", "import"), programs=(BORDERTEST,)) as name:
        # Without a window manager Wine would still leave the caption area of a frame with a
        # caption style to the (missing) manager's decoration, outside its X window; drawing the
        # non-client area itself puts the whole frame on the screen, as on Windows.
        wine.command("reg", "add", r"HKCU\Software\Wine\AppDefaults\bordertest.exe\X11 Driver",
                     "/v", "Decorated", "/d", "N", "/f")
        yield name


def run_scenario(wine, display, name):
    completed = subprocess.run([WINE64, str(BORDERTEST), name], env=wine.base_env(display),
                               cwd=BORDERTEST.parent, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               timeout=180)
    out = completed.stdout.decode("utf-8", "replace")
    failed = [line for line in out.splitlines() if line.startswith("FAIL")]
    assert not failed and completed.returncode == 0, out + completed.stderr.decode("utf-8", "replace")
    assert "\n0 failed" in out
    return {line[len("ok - "):] for line in out.splitlines() if line.startswith("ok - ")}


# The checks each scenario must report as passed: a scenario that stopped early or skipped a
# check fails here even if it printed no failure.
SCENARIOS = {
    "install": [
        "install returns the window handle",
        "a second install of the same window returns 0",
        "only the low 32 bits of the Java long name the window",
        "install of handle 0 returns 0",
        "uninstall restores the procedure in place before install",
        "uninstall deletes the global references",
        "an uninstalled frame no longer asks Java",
        "a second uninstall deletes nothing",
        "install of a destroyed window returns 0",
        "a refused install keeps no global reference",
        "later installs do not initialise again",
    ],
    "calcsize": [
        "the system alone would keep a caption",
        "a normal frame keeps the proposed top",
        "a normal frame keeps the system's left, right and bottom",
        "after the frame change the client area starts at the window's top",
        "a maximized frame moves its top down by the resize-handle height",
        "a full-screen frame keeps the proposed top",
        "without a JNI environment full screen counts as false",
        "the single rectangle is left as the previous procedure made it",
    ],
    "hittest": [
        "a hit in the client area answers what Java says",
        "Java receives window coordinates",
        "the top band of a sizable frame is on the resize border",
        "below the band the point is not on the resize border",
        "a fixed-size frame has no resize band",
        "the system's own border answer stands",
        "without a JNI environment the top band is the top border",
        "without a JNI environment the rest is client area",
        "without a JNI environment a fixed-size frame has no top border",
        "without a JNI environment Java is never asked",
        "an exception from Java falls back to the border's own answer",
        "the exception does not stay pending",
    ],
    "size-override": [
        "state 6 makes the previous procedure see SIZE_MAXIMIZED",
        "state 0 passes the system's own kind of a normal frame",
        "state 1 makes the previous procedure see SIZE_MINIMIZED",
        "after the frame change the override is gone",
        "state 0 passes the system's own kind of a maximized frame",
        "a frame without a record still gets the frame change",
    ],
    "background": [
        "without a colour erasing paints nothing",
        "without a colour erasing returns 0",
        "the second colour deletes the first brush",
        "erasing fills with the second colour",
        "erasing with a colour returns 1",
        "erasing stays inside the client rectangle",
        "the painted frame shows the colour",
        "uninstall deletes the brush",
        "a colour for a frame without a record is ignored",
    ],
    "system-menu": [
        "normal frame: Restore disabled",
        "normal frame: Move enabled",
        "normal frame: Close is the default item",
        "maximized frame: Restore enabled",
        "maximized frame: Move disabled",
        "maximized frame: Size disabled",
        "maximized frame: Close is the default item",
        "a right click elsewhere opens no menu",
        "the chosen command is posted as WM_SYSCOMMAND",
    ],
    "mouse": [
        "a move over the caption arrives as a client move in window coordinates, then as itself",
        "a move over the border stays non-client",
        "a press on the close button arrives only as a client press",
        "a release on the maximize button arrives only as a client release",
        "a press on the caption goes to the previous procedure unchanged",
    ],
    "colour": [
        "a colour change notifies Java",
        "the previous procedure sees the colour change",
        "without a JNI environment the notification is skipped",
    ],
    "destroy": [
        "destruction restores the previous procedure",
        "destruction deletes the global reference",
        "destruction frees the record",
        "destruction deletes the brush",
        "without a JNI environment the global reference is left alone",
        "without a JNI environment nothing calls through a null environment",
        "the record is freed all the same",
        "the remaining frame is still subclassed",
    ],
    "registry": [
        "a DWORD value is read",
        "a 4-byte binary value is read",
        "an 8-byte binary value gives the default",
        "a string value gives the default",
        "a missing value gives the default",
        "a missing key gives the default",
        "key and value names outside the ANSI code page are found",
        "a null key gives the default",
        "every string's characters are released",
    ],
    "show": [
        "the window is shown",
        "the window is hidden",
    ],
    # Runs in a process of its own: a failed initialisation is final for the process.
    "missing-method": [
        "install returns 0 when a Java method is missing",
        "the lookup's exception does not reach Java",
        "the window is not subclassed",
        "initialisation is not tried again",
    ],
}


@pytest.mark.parametrize("scenario", sorted(SCENARIOS))
def test_border_on_real_windows(wine, display, scenario):
    passed = run_scenario(wine, display, scenario)
    missing = [check for check in SCENARIOS[scenario] if check not in passed]
    assert not missing, f"checks not reported as passed: {missing}"
    assert "the border used JNI by its rules" in passed


def pixel_at(shot, x, y):
    ppm = subprocess.run(["/usr/bin/convert", str(shot), "ppm:-"], stdout=subprocess.PIPE, check=True).stdout
    header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", ppm)
    width = int(header.group(1))
    offset = header.end() + (y * width + x) * 3
    return tuple(ppm[offset:offset + 3])


def test_frame_on_screen_shows_the_last_background_colour(wine, display, tmp_path):
    process = subprocess.Popen([WINE64, str(BORDERTEST), "show-background"], env=wine.base_env(display),
                               cwd=BORDERTEST.parent, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL)
    try:
        line = b""
        while not line.startswith(b"CLIENT "):
            line = process.stdout.readline()
            assert line, "the test program ended before showing its frame"
        left, top, width, height = (int(v) for v in line.split()[1:])
        shot = tmp_path / "screen.png"
        subprocess.run(["import", "-window", "root", str(shot)], env={**os.environ, "DISPLAY": display},
                       check=True, timeout=60)
        # The client area starts at the frame's top edge: where the caption would be, the
        # background colour shows.
        assert pixel_at(shot, left + width // 2, top + height // 2) == (40, 160, 90)
        assert pixel_at(shot, left + 2, top + 2) == (40, 160, 90)
        assert pixel_at(shot, left + width - 3, top + height - 3) == (40, 160, 90)
    finally:
        process.stdin.close()
        rest = process.stdout.read().decode("utf-8", "replace")
        process.wait(timeout=60)
    assert process.returncode == 0, rest
