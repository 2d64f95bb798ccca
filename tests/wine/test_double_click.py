"""A launcher started without a command word outside the service manager (a double-click),
and a GUI-subsystem launcher's texts for the user: on the console of the program that
started it, in the handles it was given, or in a message box when there is neither.

A GUI launcher is packed with `[executable] subsystem = "gui"`, which also makes "run" its
default command. Under Wine a GUI program started from a console program gets
that console's handles; a program started with neither console nor handles (envrun's
ENVRUN_START=detached) attaches to its parent's console itself, and one started by `start /unix` from the Unix side
has no console at all, as a program started from Explorer. Wine's service dispatcher takes
about ten seconds to give up on a process that no service manager started, so every run
without a command word takes that long.
"""
import subprocess

import pytest

from conftest import WINE64, log_lines, logged_env, read_log, winpath
from test_messages import (TITLE, close_with_return, count_error_red_pixels, display,  # noqa: F401
                           run_on_terminal, wait_for_windows)
from test_run import App

DEFAULT_COMMAND = 30501
NOT_STARTED_BY_THE_SERVICE_MANAGER = "StartServiceCtrlDispatcher failed with error 1063"
DEFAULT_RUN = "not started by the service control manager: running the default command"


def gui_app(wine, pack, tmp_path, application=""):
    """An App (test_run) whose launcher is packed again from TOML as a GUI-subsystem launcher;
    `application` adds lines to its [application] table."""
    app = App(wine, pack, tmp_path)
    pack(f"""
[application]
main_class = "com.example.App"
{application}
[java]
search_sequence = ["Bjre"]
[service]
name = "RunTest"
[executable]
subsystem = "gui"
""", directory=app.dir)
    return app


@pytest.mark.parametrize("gui, args", [(True, ()), (False, ("C:\\docs\\letter one.txt",))],
                         ids=["gui-launcher-double-clicked", "console-launcher-given-a-document"])
def test_default_command_run_runs_the_application_with_the_given_arguments(wine, pack, tmp_path, gui, args):
    # The GUI launcher runs through the packer's choice for its subsystem, the console
    # launcher through the setting itself.
    app = gui_app(wine, pack, tmp_path) if gui else App(wine, pack, tmp_path, settings={DEFAULT_COMMAND: "run"})
    run = app.run(args=args)
    run.assert_clean()
    assert run.main_arguments()[5:] == [winpath(app.exe), *args]
    # The dispatcher was tried first: a service started by the service manager has no
    # command word either.
    assert run.log.index(NOT_STARTED_BY_THE_SERVICE_MANAGER) < run.log.index(DEFAULT_RUN)
    assert "running service" in run.log[run.log.index(DEFAULT_RUN):]
    # As /run: the Java side does not redirect the output.
    assert "-Dquillwork.noRedir=true" in run.options


@pytest.mark.parametrize("gui, application, args", [
    (False, None, ()),
    (True, 'default_command = "none"', ()),
    (True, "", ("/Help",)),
], ids=["console-launcher-without-the-setting", "gui-launcher-with-none", "unknown-command-word"])
def test_without_a_default_run_the_launcher_ends_with_0_and_runs_nothing(wine, pack, tmp_path, gui,
                                                                           application, args):
    app = gui_app(wine, pack, tmp_path, application) if gui else App(wine, pack, tmp_path)
    run = app.run(args=args)
    assert run.returncode == 0
    assert (run.result.stdout, run.result.stderr) == ("", "")
    assert run.log[-2:] == [NOT_STARTED_BY_THE_SERVICE_MANAGER, "StartServiceCtrlDispatcher returned"]
    assert run.records == []  # the runtime was never even probed


# --- texts of a GUI launcher -------------------------------------------------------------------

STATUS_MISSING = "Could not get status."


def gui_launcher(pack, directory, files=""):
    """A GUI launcher of a console application kind whose /status names a service that does
    not exist; `files` adds [[files]] tables."""
    return pack(f"""
[application]
kind = "console"
[service]
name = "DoubleClickNoSuchService"
[messages]
error_title = "{TITLE}"
extraction_failed = "Extraction failed: {{0}}"
[executable]
subsystem = "gui"
{files}""", directory=directory)


# How envrun starts the launcher from the terminal's console, and the log line that shows how
# the launcher found the console (None: it did not look, its handles were the console's).
CONSOLE_STARTS = {
    "given-the-console": (None, None),
    # Wine keeps a GUI child on its parent's console; the launcher opens the console's
    # output itself.
    "given-no-handles": ("no-handles", "already attached to a console"),
    # As a GUI program started from a command prompt on Windows: it attaches to the console.
    "attaching-to-the-parent": ("detached", "attached to the console of the parent process"),
}


@pytest.mark.parametrize("start", CONSOLE_STARTS)
def test_gui_status_prints_on_the_console_it_was_started_from(wine, pack, tmp_path, start):
    how, log_line = CONSOLE_STARTS[start]
    exe = gui_launcher(pack, tmp_path / "app")
    log_folder = tmp_path / "log"
    log_folder.mkdir()
    env = {**logged_env(log_folder), **({"ENVRUN_START": how} if how else {})}
    code, shown, error = run_on_terminal(wine, exe, ["/status"], env)
    assert code == 1
    assert shown.replace(b"\r", b"").decode().split("\n")[0] == STATUS_MISSING, shown
    assert error == b""
    console_lines = [line for line in log_lines(read_log(log_folder)) if "console" in line]
    assert console_lines == ([log_line] if log_line else [])


def test_gui_status_keeps_redirected_handles(wine, pack, tmp_path):
    exe = gui_launcher(pack, tmp_path / "app")
    log_folder = tmp_path / "log"
    log_folder.mkdir()
    result = wine.run(exe, ["/status"], env=logged_env(log_folder))
    assert result.returncode == 1
    assert result.stdout.split("\r\n")[0] == STATUS_MISSING
    assert result.stderr == ""
    assert not [line for line in log_lines(read_log(log_folder)) if "console" in line]


def started_without_console(wine, display, exe, args):
    """`exe` started from the Unix side through `start /unix`: no console, no handles, as a
    program started from Explorer. `start /wait` ends with the program's exit code."""
    env = wine.base_env(display)
    return subprocess.Popen([WINE64, "start", "/wait", "/unix", str(exe), *args], env=env, cwd=exe.parent,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def test_gui_fatal_text_without_a_console_is_shown_in_a_box(wine, pack, tmp_path, display):
    # A console application kind: a console launcher would write the text to its handles.
    # Its /run fails in extraction: the only included file lacks its last byte.
    directory = tmp_path / "app"
    directory.mkdir()
    (directory / "payload.bin").write_bytes(bytes(range(200)))
    exe = gui_launcher(pack, directory, '[[files]]\npath = "payload.bin"\nsource = "payload.bin"\n')
    exe.write_bytes(exe.read_bytes()[:-1])
    process = started_without_console(wine, display, exe, ["/run"])
    try:
        windows = wait_for_windows(display, process, "--name", f"^{TITLE}$")
        assert count_error_red_pixels(display, tmp_path / "box.png") > 100
        code, out, err = close_with_return(display, process, windows)
    finally:
        if process.poll() is None:
            process.kill()
    assert code == 1
    assert (out, err) == (b"", b"")


def test_gui_help_without_a_console_is_shown_in_an_information_box(wine, pack, tmp_path, display):
    exe = gui_launcher(pack, tmp_path / "app")
    process = started_without_console(wine, display, exe, ["/help"])
    try:
        windows = wait_for_windows(display, process, "--name", f"^{TITLE}$")
        # The information icon is blue: the box is no error report.
        assert count_error_red_pixels(display, tmp_path / "box.png") == 0
        code, out, err = close_with_return(display, process, windows)
    finally:
        if process.poll() is None:
            process.kill()
    assert code == 0
    assert (out, err) == (b"", b"")
