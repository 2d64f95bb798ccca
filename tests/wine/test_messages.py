"""Fatal messages: console or message box by application kind, the log reference under the
text, localized texts with their "{0}" argument, and the exit code.

The fatal path used here exists after the configuration is read: a `/run` whose included
file is cut short ends extraction with message 1009 and the argument "16". Without an X
display a message box returns at once, so message-box runs end without any console output;
the tests that look at a real box start their own Xvfb server.
"""
import os
import pty
import re
import select
import shutil
import subprocess
import time
from contextlib import contextmanager

import pytest

from conftest import DIST, read_log, winpath, xvfb_display

TITLE = "Quillwork Fehlerbericht"
BASE_MESSAGES = f"message 1000 = {TITLE}\nmessage 1009 = Extraction failed: {{0}}\n"


def fatal_launcher(pack, directory, kind="0", messages=BASE_MESSAGES, name="app.exe"):
    """A launcher whose `/run` fails in extraction: its only included file lacks its last byte.
    `kind` is setting 107 (None: not set)."""
    directory.mkdir(parents=True, exist_ok=True)
    (directory / "payload.bin").write_bytes(bytes(range(200)))
    kind_line = "" if kind is None else f"setting 107 = {kind}\n"
    exe = pack(f"setting 101 = MessageTest\n{kind_line}file payload.bin = payload.bin\n{messages}",
               name=name, directory=directory)
    exe.write_bytes(exe.read_bytes()[:-1])
    return exe


def run_bytes(wine, exe, args, env, unix_env=None):
    """Runs like wine.run but keeps standard output and error as bytes, since the launcher
    writes them in the ANSI code page rather than UTF-8."""
    argv, process_env = wine.envrun_command(exe, args, env=env, unix_env=unix_env)
    return subprocess.run(argv, env=process_env, cwd=exe.parent, timeout=120,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def temp_env(temp, log=False):
    temp.mkdir(parents=True, exist_ok=True)
    return {"TEMP": winpath(temp), "TMP": winpath(temp),
            "RAVEL_LOG": "yes" if log else None, "QUILLWORK_LOG": None}


def short_name(wine, parent, long_name):
    """The 8.3 name Wine gives `parent/long_name`, as its own `dir /x` lists it."""
    listing = wine.command("cmd", "/c", "dir", "/x", winpath(parent)).stdout
    match = re.search(r"<DIR>\s+(\S+)\s+" + re.escape(long_name) + r"\s*$", listing, re.MULTILINE)
    assert match, listing
    return match.group(1)


@pytest.mark.parametrize("kind", ["0", "2", "4", None])
def test_console_kinds_write_the_text_to_standard_error_with_a_line_feed(wine, pack, tmp_path, kind):
    exe = fatal_launcher(pack, tmp_path / "app", kind=kind)
    result = run_bytes(wine, exe, ["/run"], temp_env(tmp_path / "temp"))
    assert result.returncode == 1
    assert result.stdout == b""
    assert result.stderr == b"Extraction failed: 16\r\n"


def run_on_terminal(wine, exe, args, env):
    """Runs with standard input and output on a pseudo-terminal, which Wine turns into a real
    console; returns the exit code, what reached the terminal (terminal control sequences
    removed) and standard error."""
    argv, process_env = wine.envrun_command(exe, args, env=env)
    master, slave = pty.openpty()
    process = subprocess.Popen(argv, env=process_env, cwd=exe.parent, stdin=slave, stdout=slave,
                               stderr=subprocess.PIPE)
    os.close(slave)
    shown = b""
    try:
        while select.select([master], [], [], 60)[0]:
            try:
                chunk = os.read(master, 4096)
            except OSError:  # the terminal closes when the last program using it ends
                break
            if not chunk:
                break
            shown += chunk
    finally:
        os.close(master)
    code = process.wait(timeout=60)
    return code, re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]", b"", shown), process.stderr.read()


def test_on_a_real_console_the_text_goes_to_standard_output_without_a_line_feed(wine, pack, tmp_path):
    exe = fatal_launcher(pack, tmp_path / "app")
    code, shown, error = run_on_terminal(wine, exe, ["/run"], temp_env(tmp_path / "temp"))
    assert code == 1
    assert shown == b"Extraction failed: 16"
    assert error == b""


@pytest.mark.parametrize("kind", ["1", "5"])
def test_message_box_kinds_write_nothing_to_the_console(wine, pack, tmp_path, kind):
    exe = fatal_launcher(pack, tmp_path / "app", kind=kind)
    result = run_bytes(wine, exe, ["/run"], temp_env(tmp_path / "temp"))
    assert result.returncode == 1
    assert (result.stdout, result.stderr) == (b"", b"")


def test_damaged_block_is_shown_in_a_box_even_for_a_console_application(wine, pack, tmp_path):
    exe = pack("setting 101 = MessageTest\nsetting 107 = 0\n" + BASE_MESSAGES, directory=tmp_path)
    # Without its last word (the count of locale sections) the block fails to read before
    # setting 107 takes effect.
    exe.write_bytes(exe.read_bytes()[:-4])
    result = run_bytes(wine, exe, ["/help"], temp_env(tmp_path / "temp"))
    assert result.returncode == 1
    assert (result.stdout, result.stderr) == (b"", b"")


def test_with_the_log_on_the_text_ends_with_the_long_log_path(wine, pack, tmp_path):
    # TEMP names the directory by its 8.3 name; the user is shown the long one.
    parent = tmp_path / "t"
    temp = parent / "long temp directory"
    temp.mkdir(parents=True)
    short = winpath(parent) + "\\" + short_name(wine, parent, temp.name)
    exe = fatal_launcher(pack, tmp_path / "app")
    env = {"TEMP": short, "TMP": short, "RAVEL_LOG": "yes", "QUILLWORK_LOG": None}
    result = run_bytes(wine, exe, ["/run"], env)
    assert result.returncode == 1
    log_path = winpath(temp / "qwk_nlog_1.log")
    assert result.stderr.decode("cp1252") == f"Extraction failed: 16\r\n\r\nLog: {log_path}\r\n"
    # The log itself was written where the reference points, and reports the failure.
    text = read_log(temp)
    assert re.search(r"^\[\d+:\d+\] ERROR: ", text, re.MULTILINE), text


def test_text_is_written_in_the_ansi_code_page(wine, pack, tmp_path):
    messages = f"message 1000 = {TITLE}\nmessage 1009 = Gr\u00f6\u00dfe {{0}} \u65e5\u672c\n"
    exe = fatal_launcher(pack, tmp_path / "app", messages=messages)
    result = run_bytes(wine, exe, ["/run"], temp_env(tmp_path / "temp"))
    # Code page 1252 has the German letters; characters it lacks become "?".
    assert result.stderr == b"Gr\xf6\xdfe 16 ??\r\n"


def test_only_the_first_placeholder_takes_the_argument(wine, pack, tmp_path):
    messages = "message 1009 = Cannot extract {0} ({0})\n"
    exe = fatal_launcher(pack, tmp_path / "app", messages=messages)
    result = run_bytes(wine, exe, ["/run"], temp_env(tmp_path / "temp"))
    assert result.stderr == b"Cannot extract 16 ({0})\r\n"


def test_text_may_come_from_a_setting_of_the_same_id(wine, pack, tmp_path):
    exe = fatal_launcher(pack, tmp_path / "app", messages="setting 1009 = From the settings: {0}\n")
    result = run_bytes(wine, exe, ["/run"], temp_env(tmp_path / "temp"))
    assert result.stderr == b"From the settings: 16\r\n"


def test_missing_message_shows_an_empty_text(wine, pack, tmp_path):
    exe = fatal_launcher(pack, tmp_path / "app", messages="")
    result = run_bytes(wine, exe, ["/run"], temp_env(tmp_path / "temp"))
    assert result.returncode == 1
    assert result.stderr == b"\r\n"


# --- message boxes in a real window ---------------------------------------------------------

@pytest.fixture
def display(wine):
    """A private Xvfb display for one test, with the tools that find, photograph and close a box."""
    with xvfb_display(wine, tools=("Xvfb", "xdotool", "import")) as name:
        yield name


def x_tool(display, *args):
    env = dict(os.environ, DISPLAY=display)
    return subprocess.run(list(args), env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          text=True, timeout=30).stdout


def wait_for_windows(display, process, *search, timeout=90):
    """Polls `xdotool search <search>` until a window appears; fails if the process ends first."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = x_tool(display, "xdotool", "search", *search).split()
        if found:
            return found
        assert process.poll() is None, "the launcher ended without showing a window"
        time.sleep(0.5)
    pytest.fail(f"no window for {search} within {timeout} s")


def count_error_red_pixels(display, shot):
    """Takes a screenshot into `shot` and counts the strongly red pixels (the error icon)."""
    x_tool(display, "import", "-window", "root", str(shot))
    assert shot.stat().st_size > 0
    ppm = subprocess.run(["/usr/bin/convert", str(shot), "ppm:-"], stdout=subprocess.PIPE, check=True).stdout
    # Binary PPM: "P6", width, height, maximum value, then RGB triples.
    header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", ppm)
    pixels = ppm[header.end():]
    return sum(1 for i in range(0, len(pixels) - 2, 3)
               if pixels[i] > 180 and pixels[i + 1] < 90 and pixels[i + 2] < 90)


@contextmanager
def started_in_display(wine, display, exe, args, env):
    """The launcher running on `display` for the block; killed at its end if still running."""
    argv, process_env = wine.envrun_command(exe, args, env=env, unix_env={"DISPLAY": display})
    process = subprocess.Popen(argv, env=process_env, cwd=exe.parent,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        yield process
    finally:
        if process.poll() is None:
            process.kill()


def close_with_return(display, process, windows):
    assert process.poll() is None, "the box must wait for the user"
    for window in windows:
        x_tool(display, "xdotool", "key", "--window", window, "Return")
    out, err = process.communicate(timeout=60)
    return process.returncode, out, err


def test_message_box_has_the_configured_title_and_the_error_icon(wine, pack, tmp_path, display):
    exe = fatal_launcher(pack, tmp_path / "app", kind="1")
    with started_in_display(wine, display, exe, ["/run"], temp_env(tmp_path / "temp")) as process:
        windows = wait_for_windows(display, process, "--name", f"^{TITLE}$")
        assert x_tool(display, "xdotool", "getwindowname", windows[0]).strip() == TITLE
        assert count_error_red_pixels(display, tmp_path / "box.png") > 100
        code, out, err = close_with_return(display, process, windows)
    assert code == 1
    assert (out, err) == (b"", b"")


def test_launcher_without_a_block_shows_its_error_in_an_untitled_box(wine, tmp_path, display):
    bare = tmp_path / "bare.exe"
    shutil.copy(DIST / "launcher64.exe", bare)
    with started_in_display(wine, display, bare, ["/help"], temp_env(tmp_path / "temp")) as process:
        # With no configuration there is no message 1000: the box has an empty title and is
        # found by its program's window class instead.
        candidates = wait_for_windows(display, process, "--classname", r"^bare\.exe$")
        time.sleep(1)
        candidates = x_tool(display, "xdotool", "search", "--classname", r"^bare\.exe$").split() or candidates
        boxes = [w for w in candidates if x_tool(display, "xdotool", "getwindowname", w).strip() != "Default IME"]
        assert boxes, candidates
        assert all(x_tool(display, "xdotool", "getwindowname", w).strip() == "" for w in boxes)
        assert count_error_red_pixels(display, tmp_path / "bare.png") > 100
        code, out, err = close_with_return(display, process, boxes)
    assert code == 1
    assert (out, err) == (b"", b"")
