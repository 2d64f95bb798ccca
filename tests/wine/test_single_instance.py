"""The single-instance guard: the semaphore named after the launcher's path, the numbered
names of instances that run side by side, the second start of a single-instance application
with the first one's process id from the registry, and its windows brought to the front.

The first instance is the launcher itself where it can be: it passes the guard and then
blocks while the stand-in java.exe it probes hangs, holding its semaphore. The window tests
use instance_peer.exe (testtools/instance_peer), which holds the semaphore, records its id and
shows a real window under a private Xvfb display, as a running application would."""
import re
import subprocess
import time
from pathlib import Path

import pytest

from conftest import (BUILD, WINE64, LoggedLauncher, log_lines, logged_env, read_log, stamped_log_lines, winpath,
                      xvfb_display)
from runtimes import make_jre, runtime_registry  # noqa: F401

PEER = BUILD / "win64" / "instance_peer.exe"
PIDS_KEY = "HKCU\\SOFTWARE\\brightmoor-labs\\ravel\\pids"
NAME_LINE = re.compile(r"semaphore name (.*), code (\d+), value ([0-9A-F]{16})$")


def semaphore_lines(lines):
    return [NAME_LINE.search(line).groups() for line in lines if NAME_LINE.search(line)]


def canonical(exe) -> str:
    return winpath(exe).lower()


def sanitized(exe) -> str:
    return canonical(exe).replace("\\", "_").replace(" ", "_")


class GuardedLauncher(LoggedLauncher):
    """A packed launcher in `directory/My App` that finds `jre`; each run logs into a folder
    of its own."""

    def __init__(self, wine, pack, directory: Path, jre, settings=None):
        super().__init__(wine, pack, directory, {101: "GuardTest", 128: "A" + winpath(jre.root), **(settings or {})},
                         folder="My App")

    def run(self, unix_env=None):
        """Runs to the end: (exit code, log text)."""
        result, log = self.run_logged(unix_env=unix_env)
        return result.returncode, log

    def start(self):
        """Starts a run in the background: (process, log folder)."""
        temp = self.new_log_folder()
        argv, env = self.wine.envrun_command(self.exe, ["/run"], env=logged_env(temp))
        process = subprocess.Popen(argv, env=env, cwd=self.exe.parent,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return process, temp


class BlockedFirstInstance:
    """A launcher run that has passed the guard and hangs in the probe of a stand-in java.exe
    that never answers; `end()` kills that java.exe, after which the run ends by itself."""

    def __init__(self, launcher, jre):
        self.jre = jre
        jre.set_release(STANDIN_HANG="1")
        self.process, self.temp = launcher.start()
        deadline = time.monotonic() + 60
        while not jre.starts():
            assert self.process.poll() is None, "the first instance ended before probing"
            assert time.monotonic() < deadline, "the first instance never probed java.exe"
            time.sleep(0.2)
        self.probe_pid = jre.starts()[0]["pid"]
        # Later starts of the same runtime answer at once.
        jre.set_release(STANDIN_HANG=None)

    def end(self, wine):
        if self.process.poll() is None:
            wine.command("taskkill", "/F", "/PID", self.probe_pid)
            try:
                self.process.wait(timeout=60)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()

    def log(self):
        return read_log(self.temp)


def stored_pid(wine, exe):
    """The process id in the instance registry value of `exe`, or None."""
    result = wine.command("reg", "query", PIDS_KEY, "/v", canonical(exe))
    match = re.search(r"REG_DWORD\s+0x([0-9a-fA-F]+)", result.stdout)
    return int(match[1], 16) if match else None


def delete_pid(wine, exe):
    wine.command("reg", "delete", PIDS_KEY, "/v", canonical(exe), "/f")


@pytest.fixture
def jre(tmp_path, runtime_registry):  # noqa: F811 (the fixture clears the version cache)
    return make_jre(tmp_path / "jre", "17.0.2")


def test_side_by_side_instances_take_the_lowest_free_number(wine, pack, tmp_path, jre):
    launcher = GuardedLauncher(wine, pack, tmp_path, jre)
    expected = "Local\\" + sanitized(launcher.exe)
    assert "my_app_app.exe" in expected  # the space of "My App" became an underscore, case lowered

    first = BlockedFirstInstance(launcher, jre)
    try:
        [(name, code, _)] = semaphore_lines(log_lines(first.log()))
        assert (name, code) == (expected + "0", "0")
        _, second = launcher.run()
        [(name, code, _)] = semaphore_lines(log_lines(second))
        assert (name, code) == (expected + "1", "0")
    finally:
        first.end(wine)
    _, third = launcher.run()
    [(name, code, _)] = semaphore_lines(log_lines(third))
    assert (name, code) == (expected + "0", "0")
    # Side by side, no instance records its id.
    assert stored_pid(wine, launcher.exe) is None
    assert "single instance mode" not in log_lines(third)


def test_taken_numbers_are_skipped_up_to_a_free_one(wine, pack, tmp_path, jre):
    launcher = GuardedLauncher(wine, pack, tmp_path, jre)
    expected = "Local\\" + sanitized(launcher.exe)
    peers = [Peer(wine, "--semaphore", expected + str(n)) for n in (0, 1, 3)]
    try:
        assert all(p.values["code"] == "0" for p in peers)
        _, log = launcher.run()
        [(name, code, _)] = semaphore_lines(log_lines(log))
        assert (name, code) == (expected + "2", "0")
    finally:
        for p in peers:
            p.kill()


def test_the_global_namespace_is_used_when_configured(wine, pack, tmp_path, jre):
    launcher = GuardedLauncher(wine, pack, tmp_path, jre, {158: "1", 10005: "1"})
    code, log = launcher.run()
    [(name, error, _)] = semaphore_lines(log_lines(log))
    assert (name, error) == ("Global\\" + sanitized(launcher.exe), "0")
    assert "-Dravel.semaphoreName=Global\\" + sanitized(launcher.exe) in jre_options(jre)
    delete_pid(wine, launcher.exe)


def jre_options(jre):
    created = jre.records("jvm-create")
    return created[-1].options() if created else []


def test_a_second_single_instance_exits_with_the_first_ones_id(wine, pack, tmp_path, jre):
    launcher = GuardedLauncher(wine, pack, tmp_path, jre, {10005: "1"})
    name = "Local\\" + sanitized(launcher.exe)
    delete_pid(wine, launcher.exe)
    first = BlockedFirstInstance(launcher, jre)
    try:
        first_lines = log_lines(first.log())
        assert "single instance mode" in first_lines
        assert semaphore_lines(first_lines)[0][:2] == (name, "0")
        pid = stored_pid(wine, launcher.exe)
        assert pid

        code, second = launcher.run()
        lines = log_lines(second)
        assert code == 0
        assert semaphore_lines(lines)[0][:2] == (name, "183")
        assert lines[lines.index(f"other pid {pid}") + 1] == "exiting"
        # The second instance never looks for a runtime.
        assert not any(line.startswith("LoadDLL") for line in lines)
        waited = time_between(second, "semaphore name", "other pid")
        assert waited < 2000

        # Without the recorded id the second instance waits out its retries.
        delete_pid(wine, launcher.exe)
        code, third = launcher.run()
        assert code == 0
        assert "other pid 0" in log_lines(third)
        assert 4900 <= time_between(third, "semaphore name", "other pid") < 15000
    finally:
        first.end(wine)

    # With the first instance gone, the next start is the first instance again.
    code, fourth = launcher.run()
    lines = log_lines(fourth)
    assert semaphore_lines(lines)[0][:2] == (name, "0")
    assert any(line.startswith("LoadDLL") for line in lines)
    assert stored_pid(wine, launcher.exe) not in (None, pid)
    delete_pid(wine, launcher.exe)


def test_different_executables_never_share_a_name_or_an_id(wine, pack, tmp_path, jre):
    first_launcher = GuardedLauncher(wine, pack, tmp_path / "one", jre, {10005: "1"})
    other_jre = make_jre(tmp_path / "other-jre", "17.0.2")
    other = GuardedLauncher(wine, pack, tmp_path / "two", other_jre, {10005: "1"})
    first = BlockedFirstInstance(first_launcher, jre)
    try:
        code, log = other.run()
        lines = log_lines(log)
        assert semaphore_lines(lines)[0][:2] == ("Local\\" + sanitized(other.exe), "0")
        assert "other pid" not in "\n".join(lines)
        assert stored_pid(wine, other.exe) not in (None, stored_pid(wine, first_launcher.exe))
    finally:
        first.end(wine)
        delete_pid(wine, first_launcher.exe)
        delete_pid(wine, other.exe)


def time_between(log_text, first_prefix, second_prefix):
    stamps = stamped_log_lines(log_text)
    start = next(ms for ms, line in stamps if line.startswith(first_prefix))
    end = next(ms for ms, line in stamps if line.startswith(second_prefix))
    return end - start


# --- the first instance's windows ------------------------------------------------------------

class Peer:
    """instance_peer.exe running in the background until killed; `values` holds what it
    printed before "ready"."""

    def __init__(self, wine, *args, display=None):
        self.process = subprocess.Popen([WINE64, str(PEER), *args], env=wine.base_env(display),
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.values = {}
        for line in self.process.stdout:
            line = line.strip()
            if line == "ready":
                break
            key, _, value = line.partition("=")
            self.values[key] = value
        else:
            pytest.fail(f"instance_peer ended before it was ready: {self.values}")

    def kill(self):
        self.process.kill()
        self.process.wait()


def query_window(wine, display, title):
    completed = subprocess.run([WINE64, str(PEER), "--query", title], env=wine.base_env(display),
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, timeout=60)
    return dict(line.strip().partition("=")[::2] for line in completed.stdout.splitlines() if "=" in line)


@pytest.fixture
def display(wine):
    """A private Xvfb display for one test, with instance_peer.exe built."""
    with xvfb_display(wine, programs=(PEER,)) as name:
        yield name


def window_run(wine, pack, tmp_path, display, raise_windows, minimized, title):
    """A single-instance launcher started while a peer holds its name, has recorded its id and
    shows a window (plus a hidden one). Returns (exit code, log lines, peer values, window state
    afterwards)."""
    jre = make_jre(tmp_path / "jre", "17.0.2")
    launcher = GuardedLauncher(wine, pack, tmp_path, jre, {10005: "1", 10008: raise_windows})
    args = ["--semaphore", "Local\\" + sanitized(launcher.exe), "--pid-value", canonical(launcher.exe),
            "--window", title, "--hidden-window"] + (["--minimized"] if minimized else [])
    peer = Peer(wine, *args, display=display)
    try:
        assert peer.values["code"] == "0"
        assert query_window(wine, display, title)["iconic"] == ("1" if minimized else "0")
        code, log = launcher.run(unix_env={"DISPLAY": display})
        state = query_window(wine, display, title)
    finally:
        peer.kill()
        delete_pid(wine, launcher.exe)
    return code, log_lines(log), peer.values, state


def test_the_first_instances_minimized_window_is_restored_and_raised(wine, pack, tmp_path, display):
    code, lines, peer, state = window_run(wine, pack, tmp_path, display, "1", True, "Guard peer minimized")
    assert code == 0
    window = int(peer["window"])
    start = lines.index(f"other pid {int(peer['pid'])}")
    assert lines[start:] == ["other pid " + peer["pid"], f"found window {window:016X}", "restore", "foreground",
                             "popup", "done", "exiting"]
    assert state["found"] == "1" and state["iconic"] == "0" and state["visible"] == "1"


def test_a_window_that_is_not_minimized_is_only_raised(wine, pack, tmp_path, display):
    code, lines, peer, state = window_run(wine, pack, tmp_path, display, "1", False, "Guard peer normal")
    assert code == 0
    start = lines.index("other pid " + peer["pid"])
    assert lines[start:] == ["other pid " + peer["pid"], f"found window {int(peer['window']):016X}", "foreground",
                             "popup", "done", "exiting"]
    assert state["foreground"] == "1"


def test_windows_are_left_alone_unless_configured(wine, pack, tmp_path, display):
    code, lines, peer, state = window_run(wine, pack, tmp_path, display, "0", True, "Guard peer untouched")
    assert code == 0
    start = lines.index("other pid " + peer["pid"])
    assert lines[start:] == ["other pid " + peer["pid"], "exiting"]
    assert state["iconic"] == "1"


# --- a name created first by another account -----------------------------------------------
#
# Under Wine every process runs as the same user, so another account is played by a peer that
# creates the name under a security descriptor naming another owner (Wine lets a process set
# any owner), or one that denies every access. The decision itself is unit-tested over the
# owners and codes Windows gives (single_instance_rules_test.cpp).

FOREIGN_OWNER = "S-1-5-21-1-2-3-4242"
OWN_SID_LINE = re.compile(r"semaphore name .*_(S-1-5-[0-9-]+), code")


@pytest.mark.parametrize("security, code, owner", [
    (f"O:{FOREIGN_OWNER}D:(A;;GA;;;WD)", "183", FOREIGN_OWNER),  # open to all, owned by another
    ("D:", "5", "unknown"),                                       # closed to all
], ids=["foreign-owner", "no-access"])
def test_a_name_another_account_created_first_neither_stops_nor_names_this_instance(
        wine, pack, tmp_path, jre, security, code, owner):
    launcher = GuardedLauncher(wine, pack, tmp_path, jre, {10005: "1"})
    shared = "Local\\" + sanitized(launcher.exe)
    delete_pid(wine, launcher.exe)
    peer = Peer(wine, "--semaphore", shared, "--security", security)
    first = None
    try:
        assert peer.values["code"] == "0"
        first = BlockedFirstInstance(launcher, jre)
        lines = log_lines(first.log())
        assert semaphore_lines(lines)[0][:2] == (shared, code)
        assert (f"semaphore {shared} is held by another account (owner {owner}, code {code}), "
                "not by an instance of this one") in lines
        # The account's own name: the shared one followed by its SID, new, and this instance's.
        own_name, own_code, _ = semaphore_lines(lines)[1]
        sid = OWN_SID_LINE.search([line for line in lines if line.startswith("semaphore name " + shared + "_")][0])[1]
        assert (own_name, own_code) == (f"{shared}_{sid}", "0")
        assert stored_pid(wine, launcher.exe)

        # A second start of this account finds its first instance under that name and exits.
        second_code, second = launcher.run()
        second_lines = log_lines(second)
        assert second_code == 0
        assert semaphore_lines(second_lines)[1][:2] == (own_name, "183")
        assert "exiting" in second_lines
        assert not any(line.startswith("LoadDLL") for line in second_lines)
    finally:
        if first:
            first.end(wine)
        peer.kill()
        delete_pid(wine, launcher.exe)
    # The first instance ran on to the JVM and handed it the name it holds.
    assert f"-Dravel.semaphoreName={own_name}" in jre_options(jre)
