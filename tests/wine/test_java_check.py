"""The gate every candidate runtime passes, watched through the diagnostic log and the
stand-in runtime's record of its starts: the per-user version cache, the -version probe with
its hidden Java options variables and its time bound, the javaw.exe switch of windowed
applications, and the refusal of runtimes whose JVM library failed to load."""
import os
import re
import time
from pathlib import Path

import pytest

from conftest import (BUILD, NO_JAVA_HOMES, LoggedLauncher, linux_processes, log_lines, logged_env, quote_argument,
                      read_log, winpath)
from runtimes import (REG_BINARY, REG_SZ, filetime_of, make_jre, runtime_registry,  # noqa: F401
                      version_cache_key)

PROBE_BOUND_SECONDS = 60


class Launcher(LoggedLauncher):
    """A packed console launcher in `directory/app`; each `/run` logs into a folder of its own."""

    def __init__(self, wine, pack, directory: Path, settings: dict):
        super().__init__(wine, pack, directory, {101: "JavaCheckTest", 107: "0", **settings},
                         messages={1016: "no runtime {0}", 1019: "cannot load {0}"})

    def run(self, env=None, timeout=120):
        """(result, log lines without their time prefix)."""
        result, log = self.run_logged(env={**NO_JAVA_HOMES, **(env or {})}, timeout=timeout)
        return result, log_lines(log)


def normalised(path) -> str:
    return winpath(path).lower()


def check_lines(lines, exe):
    """The log lines of the checks of one executable, from "checkJavaExe (" to its result."""
    start = f"checkJavaExe ({normalised(exe)}, [out], "
    blocks, current = [], None
    for line in lines:
        if line.startswith("checkJavaExe ("):
            # The path is logged as the caller gave it, before normalisation.
            current = [line] if line.lower().startswith(start.lower()) else None
            if current is not None:
                blocks.append(current)
        elif current is not None:
            current.append(line)
            if line.startswith("checkJavaExe returning"):
                current = None
    return blocks


def cached(registry, exe):
    """(type, bytes) of "LastWriteTime" and "Version" of an executable's cache entry."""
    key = version_cache_key(normalised(exe))
    return registry.read_value("HKCU", key, "LastWriteTime"), registry.read_value("HKCU", key, "Version")


@pytest.fixture
def jre(tmp_path):
    return make_jre(tmp_path / "jre", "17.0.2", version_date="2022-01-18")


def directory_launcher(wine, pack, tmp_path, runtime, settings=None):
    return Launcher(wine, pack, tmp_path, {128: "A" + winpath(runtime.root), **(settings or {})})


# ---------------------------------------------------------------------------------------
# Version cache


def test_cold_run_probes_and_caches_and_a_warm_run_starts_nothing(wine, pack, tmp_path, jre, runtime_registry):
    launcher = directory_launcher(wine, pack, tmp_path, jre)
    _, cold = launcher.run()
    [block] = check_lines(cold, jre.java_exe)
    assert block[:2] == [f"checkJavaExe ({normalised(jre.java_exe)}, [out], 0, 0, 0)", "file exists"]
    assert "Exit Code 0" in block and "Java version2: 17.0.2" in block
    assert "got version from execution 17.0.2" in block
    assert block[-1] == "checkJavaExe returning 1"
    assert len(jre.starts()) == 1

    time_value, version_value = cached(runtime_registry, jre.java_exe)
    assert time_value == (REG_BINARY, filetime_of(jre.java_exe).to_bytes(8, "little"))
    assert version_value == (REG_SZ, "17.0.2".encode("utf-16-le"))  # stored without a terminator

    _, warm = launcher.run()
    [block] = check_lines(warm, jre.java_exe)
    assert block == [f"checkJavaExe ({normalised(jre.java_exe)}, [out], 0, 0, 0)", "file exists",
                     "got version from registry 17.0.2", "checkJavaExe returning 1"]
    assert len(jre.starts()) == 1


def test_a_trusted_cache_entry_is_used_without_running_anything(wine, pack, tmp_path, jre, runtime_registry):
    # The cache says 1.7.0_80 although the runtime would report 17.0.2: the cache is believed,
    # so the maximum 1.7 admits it.
    runtime_registry.version_cache(jre.java_exe, "1.7.0_80").apply()
    launcher = directory_launcher(wine, pack, tmp_path, jre, {127: "1.7"})
    _, lines = launcher.run()
    [block] = check_lines(lines, jre.java_exe)
    assert "got version from registry 1.7.0_80" in block
    assert block[-1] == "checkJavaExe returning 1"
    assert jre.starts() == []
    # Without the cache entry the probed 17.0.2 is above that maximum, and the log says so.
    runtime_registry.clear()
    _, lines = launcher.run()
    [block] = check_lines(lines, jre.java_exe)
    assert f"runtime {normalised(jre.java_exe)} refused: version 17.0.2 is above the maximum 1.7" in block
    assert block[-1] == "checkJavaExe returning 0"


@pytest.mark.parametrize("stored", ["1.0.0", "1.7.", "1.6.", "1.5."])
def test_marker_and_short_cached_versions_force_a_probe(wine, pack, tmp_path, jre, runtime_registry, stored):
    runtime_registry.version_cache(jre.java_exe, stored).apply()
    launcher = directory_launcher(wine, pack, tmp_path, jre)
    _, lines = launcher.run()
    [block] = check_lines(lines, jre.java_exe)
    assert not any(line.startswith("got version from registry") for line in block)
    assert "got version from execution 17.0.2" in block
    assert len(jre.starts()) == 1
    assert cached(runtime_registry, jre.java_exe)[1] == (REG_SZ, "17.0.2".encode("utf-16-le"))


def test_a_changed_last_write_time_forces_a_probe(wine, pack, tmp_path, jre, runtime_registry):
    runtime_registry.version_cache(jre.java_exe, "11.0.2",
                                   last_write=filetime_of(jre.java_exe) - 10_000_000).apply()
    launcher = directory_launcher(wine, pack, tmp_path, jre)
    _, lines = launcher.run()
    assert "got version from execution 17.0.2" in check_lines(lines, jre.java_exe)[0]
    assert len(jre.starts()) == 1
    assert cached(runtime_registry, jre.java_exe)[0] == (REG_BINARY, filetime_of(jre.java_exe).to_bytes(8, "little"))


@pytest.mark.parametrize("name, kind, data", [
    ("LastWriteTime", REG_SZ, None),         # the right bytes, but not binary
    ("LastWriteTime", REG_BINARY, "short"),  # seven of the eight bytes
    ("LastWriteTime", REG_BINARY, "long"),   # eight right bytes and one more
    ("Version", REG_BINARY, None),           # the text, but not a string
    ("Version", REG_SZ, "huge"),             # a text longer than the version buffer
])
def test_cache_values_of_the_wrong_type_or_size_count_as_absent(wine, pack, tmp_path, jre, runtime_registry,
                                                                 name, kind, data):
    key = version_cache_key(normalised(jre.java_exe))
    time_bytes = filetime_of(jre.java_exe).to_bytes(8, "little")
    values = {"LastWriteTime": (REG_BINARY, time_bytes), "Version": (REG_SZ, "17.0.2".encode("utf-16-le"))}
    good = values[name][1]
    bad = {None: good, "short": good[:7], "long": good + b"\0", "huge": ("9" * 2500).encode("utf-16-le")}[data]
    values[name] = (kind, bad)
    for value_name, (value_kind, value_bytes) in values.items():
        runtime_registry.exact_values.append(("HKCU", 0, key, value_name, value_kind, value_bytes))
    runtime_registry.apply()
    launcher = directory_launcher(wine, pack, tmp_path, jre)
    _, lines = launcher.run()
    assert "got version from execution 17.0.2" in check_lines(lines, jre.java_exe)[0]
    assert len(jre.starts()) == 1


def test_non_zero_exit_leaves_the_marker_that_the_next_run_ignores(wine, pack, tmp_path, runtime_registry):
    jre = make_jre(tmp_path / "jre", release={"STANDIN_EXIT_CODE": "3"})
    launcher = directory_launcher(wine, pack, tmp_path, jre)
    for run in (1, 2):
        _, lines = launcher.run()
        [block] = check_lines(lines, jre.java_exe)
        assert "Exit Code 3" in block and "couldn't get version" in block
        assert block[-1] == "checkJavaExe returning 0"
        assert cached(runtime_registry, jre.java_exe)[1] == (REG_SZ, "1.0.0".encode("utf-16-le"))
        assert len(jre.starts()) == run


def test_output_without_a_version_line_fails_and_caches_nothing(wine, pack, tmp_path, runtime_registry):
    jre = make_jre(tmp_path / "jre", release={"STANDIN_BANNER": "banner.txt"})
    (jre.root / "banner.txt").write_bytes(b"Error: no version here\r\njava version 17 without quotes\r\n")
    launcher = directory_launcher(wine, pack, tmp_path, jre)
    _, lines = launcher.run()
    [block] = check_lines(lines, jre.java_exe)
    assert "Exit Code 0" in block and "couldn't get version" in block
    assert not any(line.startswith("Java version2") for line in block)
    assert cached(runtime_registry, jre.java_exe) == (None, None)


def test_last_banner_line_with_a_version_wins(wine, pack, tmp_path, runtime_registry):
    jre = make_jre(tmp_path / "jre", release={"STANDIN_BANNER": "banner.txt"})
    (jre.root / "banner.txt").write_bytes(b'Picked up something version "0.1"\r\n'
                                          b'openjdk version "17.0.2" 2022-01-18\r\n'
                                          b'OpenJDK Runtime Environment (build 17.0.2+8)\r\n')
    _, lines = directory_launcher(wine, pack, tmp_path, jre).run()
    assert "got version from execution 17.0.2" in check_lines(lines, jre.java_exe)[0]


def test_output_beyond_the_kept_amount_is_read_and_dropped(wine, pack, tmp_path, runtime_registry):
    # Far more than a pipe buffer: the child blocks unless the launcher keeps reading. What
    # lies beyond the kept 64 KiB, a later version line among it, is not looked at.
    jre = make_jre(tmp_path / "jre", release={"STANDIN_BANNER": "banner.txt"})
    filler = b"x" * 99 + b"\r\n"
    (jre.root / "banner.txt").write_bytes(b'openjdk version "17.0.2" 2022-01-18\r\n' + filler * 2000 +
                                          b'openjdk version "99" 2099-01-01\r\n')
    _, lines = directory_launcher(wine, pack, tmp_path, jre).run()
    [block] = check_lines(lines, jre.java_exe)
    assert "java output longer than 65536 bytes, rest ignored" in block
    assert "Exit Code 0" in block and "got version from execution 17.0.2" in block


def test_a_pre_release_is_refused_unless_setting_130_allows_it(wine, pack, tmp_path, runtime_registry):
    jre = make_jre(tmp_path / "jre", "17-ea")
    _, refused = directory_launcher(wine, pack, tmp_path / "refused", jre).run()
    [block] = check_lines(refused, jre.java_exe)
    assert block[-2:] == ["beta vm not allowed", "checkJavaExe returning 0"]
    _, allowed = directory_launcher(wine, pack, tmp_path / "allowed", jre, {130: "1"}).run()
    [block] = check_lines(allowed, jre.java_exe)
    assert "got version from registry 17-ea" in block and block[-1] == "checkJavaExe returning 1"


def test_missing_executable_is_refused_without_a_probe(wine, pack, tmp_path, runtime_registry):
    home = tmp_path / "empty"
    (home / "bin").mkdir(parents=True)
    _, lines = Launcher(wine, pack, tmp_path, {128: "A" + winpath(home)}).run()
    [block] = check_lines(lines, home / "bin" / "java.exe")
    assert block[1:] == ["file doesn't exist", "checkJavaExe returning 0"]


def test_path_is_normalised_before_it_is_checked_and_cached(wine, pack, tmp_path, runtime_registry):
    jre = make_jre(tmp_path / "Mixed Case" / "JRE")
    # A relative, mixed-case location with a doubled backslash, taken against the launcher's folder.
    _, lines = Launcher(wine, pack, tmp_path, {128: "A..\\Mixed Case\\\\JRE"}).run()
    [block] = check_lines(lines, jre.java_exe)
    assert block[-1] == "checkJavaExe returning 1"
    assert cached(runtime_registry, jre.java_exe)[1] == (REG_SZ, "17.0.2".encode("utf-16-le"))


# ---------------------------------------------------------------------------------------
# The probe's environment and time bound


def test_java_options_variables_are_hidden_from_every_probe_and_put_back(wine, pack, tmp_path, runtime_registry):
    old = make_jre(tmp_path / "old", "1.6.0_45")
    new = make_jre(tmp_path / "new", "17.0.2")
    launcher = Launcher(wine, pack, tmp_path, {126: "1.8", 128: f"A{winpath(old.root)};A{winpath(new.root)}"})
    env = {"_JAVA_OPTIONS": "-Xmx8m", "JAVA_TOOL_OPTIONS": "-Dtool=1", "JDK_JAVA_OPTIONS": None}
    _, lines = launcher.run(env=env)
    for runtime in (old, new):
        [start] = runtime.starts()
        assert not [k for k in start.fields if k.startswith("env:")], start.fields
    # Each probe saw the variables set again: the first probe put them back.
    assert lines.count("_JAVA_OPTIONS is -Xmx8m") == 2
    assert lines.count("JAVA_TOOL_OPTIONS is -Dtool=1") == 2
    assert not any(line.startswith("JDK_JAVA_OPTIONS") for line in lines)


def test_probe_runs_the_short_path_with_minus_version(wine, pack, tmp_path, runtime_registry):
    jre = make_jre(tmp_path / "a long folder name" / "jre")
    directory_launcher(wine, pack, tmp_path, jre).run()
    [start] = jre.starts()
    quoted, rest = re.fullmatch(r'"([^"]+)"( -version)', start["command"]).groups()
    assert " " not in quoted and quoted.lower().endswith("\\jre\\bin\\java.exe")
    assert start["program"].lower() == "java.exe"


def test_hanging_java_is_given_up_after_the_bound_and_terminated(wine, pack, tmp_path, runtime_registry):
    jre = make_jre(tmp_path / "jre", release={"STANDIN_HANG": "1"})
    launcher = directory_launcher(wine, pack, tmp_path, jre)
    began = time.monotonic()
    # A probe that waited for the end of standard error would never return; the harness's
    # timeout would end the test instead.
    _, lines = launcher.run(timeout=PROBE_BOUND_SECONDS + 90)
    elapsed = time.monotonic() - began
    assert PROBE_BOUND_SECONDS <= elapsed < PROBE_BOUND_SECONDS + 30, elapsed
    [block] = check_lines(lines, jre.java_exe)
    assert block[-4:] == ["Exit Code 259", "Terminating process", "couldn't get version", "checkJavaExe returning 0"]
    assert cached(runtime_registry, jre.java_exe) == (None, None)
    assert len(jre.starts()) == 1
    # The launcher has returned; a java.exe it left running would still be a process whose
    # current directory is the launcher's (every Wine process is a Linux process).
    assert processes_in(launcher.exe.parent) == []


def processes_in(directory: Path):
    """Command lines of the Linux processes whose current directory is `directory`."""
    def command_line_if_inside(entry):
        if Path(os.readlink(entry / "cwd")) == directory.resolve():
            return (entry / "cmdline").read_bytes().replace(b"\0", b" ").decode("utf-8", "replace")
        return None
    return list(linux_processes(command_line_if_inside).values())


# ---------------------------------------------------------------------------------------
# javaw.exe for windowed applications


def test_windowed_application_switches_to_javaw(wine, pack, tmp_path, jre, runtime_registry):
    _, lines = directory_launcher(wine, pack, tmp_path, jre, {107: "1"}).run()
    [block] = check_lines(lines, jre.java_exe)
    assert block[-1] == "checkJavaExe returning 1"
    # The version was learnt from java.exe; the runtime then goes on as javaw.exe.
    assert [s["program"] for s in jre.starts()] == ["java.exe"]
    assert f"Trying to load JVM-DLL from {normalised(jre.javaw_exe)}" in lines


def test_windowed_application_refuses_a_runtime_without_javaw(wine, pack, tmp_path, runtime_registry):
    jre = make_jre(tmp_path / "jre", javaw=False)
    _, lines = directory_launcher(wine, pack, tmp_path, jre, {107: "1"}).run()
    [block] = check_lines(lines, jre.java_exe)
    assert "got version from execution 17.0.2" in block
    assert block[-1] == "checkJavaExe returning 0"
    assert not any(line.startswith("Trying to load JVM-DLL") for line in lines)


# ---------------------------------------------------------------------------------------
# Runtimes whose JVM library did not load


def test_a_runtime_whose_library_failed_is_refused_from_then_on(wine, pack, tmp_path, runtime_registry):
    broken = make_jre(tmp_path / "broken", "17.0.2", jvm=(), broken_jvm=("server",))
    runtime_registry.located(broken.java_exe, hive="HKCU").apply()
    _, lines = Launcher(wine, pack, tmp_path, {128: "Y"}).run()
    exe = normalised(broken.java_exe)
    assert f"add non-working java {exe}" in lines
    blocks = check_lines(lines, broken.java_exe)
    # Passed once; every later look refuses it without the closing line.
    assert blocks[0][-1] == "checkJavaExe returning 1"
    assert len(blocks) >= 2
    after = lines.index(f"add non-working java {exe}")
    later = [line for line in lines[after:] if line.startswith("checkJavaExe returning")]
    later_checks = [line for line in lines[after:] if line.lower().startswith(f"checkjavaexe ({exe}")]
    assert later_checks and not later, lines[after:]


# ---------------------------------------------------------------------------------------
# What the probe inherits


def test_probe_inherits_no_handle_but_its_pipe(wine, pack, tmp_path, jre, runtime_registry):
    # heldhandle.exe starts the launcher holding an inheritable event; the launcher holds it
    # inheritable too, as a handle inherited from its parent. The stand-in java.exe tries to
    # reset that event through the value it was told: only an inherited handle can do it.
    launcher = directory_launcher(wine, pack, tmp_path, jre)
    temp = launcher.new_log_folder()
    heldhandle = BUILD / "win64" / "heldhandle.exe"
    result = wine.run(heldhandle, cwd=launcher.app,
                      env={**logged_env(temp), **NO_JAVA_HOMES,
                           "HELDHANDLE_COMMAND_LINE": quote_argument(winpath(launcher.exe)) + " /run"})
    lines = log_lines(read_log(temp))
    assert "Java version2: 17.0.2" in lines, "the probe's pipe (its one inherited handle) reached it"
    [attempt] = jre.records("held-handle")
    assert attempt["reset"] == "0"
    assert result.stdout.strip().endswith("held handle signalled"), result.stdout
