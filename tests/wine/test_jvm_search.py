"""The order in which the launcher looks for a Java runtime and what it tells the user when
none can be used: the preferred and installer location files, the configured search
sequence with its version-blind fallback pass, the two environment variables, and the
message for how the last candidate was found. The log is the oracle for the order; the
stand-in jvm.dll's record file shows which runtime was loaded."""
from pathlib import Path

import pytest

from conftest import NO_JAVA_HOMES, LoggedLauncher, log_lines, winpath
from runtimes import make_jdk, make_jre, runtime_registry  # noqa: F401

MESSAGES = {
    1005: "The registered Java runtime cannot be loaded",
    1016: "No usable {0}-bit Java runtime",
    1017: "The Java runtime named by {0} cannot be loaded",
    1019: "The Java runtime in {0} cannot be loaded",
}


class Launcher(LoggedLauncher):
    """A packed console launcher in `directory/app`; each `/run` logs into a folder of its own."""

    def __init__(self, wine, pack, directory: Path, settings: dict):
        super().__init__(wine, pack, directory, {101: "SearchTest", 107: "0", **settings}, messages=MESSAGES)

    def run(self, env=None):
        """(result, log lines without their time prefix)."""
        result, log = self.run_logged(env={"QUILLWORK_LOG": None, **NO_JAVA_HOMES, **(env or {})})
        return result, log_lines(log)

    def write_location_file(self, name, line):
        folder = self.app / ".quillwork"
        folder.mkdir(exist_ok=True)
        (folder / name).write_bytes(line.encode() + b"\r\n")


def exe_of(runtime) -> str:
    """The executable a home's lookup ends with, as the launcher normalises it."""
    return winpath(runtime.java_exe).lower()


def load_attempts(lines):
    return [line[len("Trying to load JVM-DLL from "):] for line in lines
            if line.startswith("Trying to load JVM-DLL from ")]


def loaded_from(runtime) -> bool:
    return bool(runtime.records("jvm-load"))


def assert_loaded(result, lines, runtime):
    """The run got as far as a loaded JVM library of `runtime` (and then ended, as the launch
    step that would follow is not part of this build)."""
    assert "Loading of JVM-DLL successful" in lines
    assert loaded_from(runtime)
    assert load_attempts(lines)[-1] == exe_of(runtime)


# ---------------------------------------------------------------------------------------
# Search sequence: main pass and fallback pass


def test_registry_runtime_wins_in_the_main_pass_over_an_old_bundled_one(wine, pack, tmp_path, runtime_registry):
    jre11 = make_jre(tmp_path / "jre11", "11.0.2")
    runtime_registry.javasoft("JRE", "11", {"11": jre11}).apply()
    launcher = Launcher(wine, pack, tmp_path, {126: "11", 128: "Bjre;Y"})
    bundled = make_jre(launcher.app / "jre", "1.8.0_201")
    result, lines = launcher.run()
    assert "Testing location jre (type B)" in lines
    assert "Testing location  (type Y)" in lines
    assert load_attempts(lines) == [exe_of(jre11)]
    assert_loaded(result, lines, jre11)
    assert not loaded_from(bundled)
    # The main pass ended the search: no fallback pass.
    assert not any(line.startswith("Testing relative location") for line in lines)


def test_without_a_registry_runtime_the_bundled_one_is_used_although_too_old(wine, pack, tmp_path,
                                                                            runtime_registry):
    launcher = Launcher(wine, pack, tmp_path, {126: "11", 128: "Bjre;Y"})
    bundled = make_jre(launcher.app / "jre", "1.8.0_201")
    result, lines = launcher.run()
    order = [line for line in lines if line.startswith(("Testing location", "Testing relative location",
                                                        "Search sequence finished"))]
    assert order == ["Testing location jre (type B)", "Testing location  (type Y)", "Testing relative location jre"]
    assert f"{exe_of(bundled)} exists" in lines
    # Why the main pass refused it, and that the fallback pass takes it anyway.
    assert f"runtime {exe_of(bundled)} refused: version 1.8.0_201 is below the minimum 11" in lines
    assert (f"warning: no runtime passed the checks; using {exe_of(bundled)} (version 1.8.0_201) whatever its version"
            in lines)
    assert_loaded(result, lines, bundled)
    assert load_attempts(lines) == [exe_of(bundled)]


def test_fallback_pass_skips_an_absolute_a_entry_and_tries_the_b_entry(wine, pack, tmp_path, runtime_registry):
    absolute = make_jre(tmp_path / "java" / "jdk", "1.6.0_45")
    launcher = Launcher(wine, pack, tmp_path, {126: "1.8", 128: f"A{winpath(absolute.root)};Bjre"})
    bundled = make_jre(launcher.app / "jre", "1.7.0_80")
    result, lines = launcher.run()
    relative = [line for line in lines if line.startswith("Testing relative location")]
    assert relative == ["Testing relative location jre"]
    assert_loaded(result, lines, bundled)
    assert not loaded_from(absolute)


def test_relative_a_entry_is_used_in_the_fallback_pass_whatever_its_version(wine, pack, tmp_path, runtime_registry):
    launcher = Launcher(wine, pack, tmp_path, {126: "17", 128: "Aruntime"})
    runtime = make_jre(launcher.app / "runtime", "1.8.0_201")
    result, lines = launcher.run()
    assert "Testing location runtime (type A)" in lines
    assert "Testing relative location runtime" in lines
    assert_loaded(result, lines, runtime)


def test_fallback_pass_needs_the_java_executable(wine, pack, tmp_path, runtime_registry):
    launcher = Launcher(wine, pack, tmp_path, {128: "Bempty"})
    (launcher.app / "empty" / "bin").mkdir(parents=True)
    result, lines = launcher.run()
    assert "Testing relative location empty" in lines
    assert not any(line.endswith(" exists") for line in lines)
    assert load_attempts(lines) == []
    assert result.returncode == 1
    assert result.stderr.startswith("No usable 64-bit Java runtime")


def test_placeholders_are_expanded_in_the_main_pass_only(wine, pack, tmp_path, runtime_registry):
    launcher = Launcher(wine, pack, tmp_path, {128: "B${MY_RUNTIME_DIR}"})
    runtime = make_jre(tmp_path / "elsewhere", "17.0.2")
    result, lines = launcher.run(env={"MY_RUNTIME_DIR": winpath(runtime.root)})
    assert f"Testing location {winpath(runtime.root)} (type B)" in lines
    assert_loaded(result, lines, runtime)


def test_setting_134_accepts_a_directory_without_java_and_the_search_goes_on(wine, pack, tmp_path,
                                                                              runtime_registry):
    launcher = Launcher(wine, pack, tmp_path, {128: "Anothing;Bjre", 134: "1"})
    (launcher.app / "nothing").mkdir()
    bundled = make_jre(launcher.app / "jre", "17.0.2")
    result, lines = launcher.run()
    nothing = winpath(launcher.app / "nothing").lower()
    # Accepted without a working check; its library (and the inner JRE's) does not load.
    assert load_attempts(lines) == [nothing + "\\bin\\java.exe", exe_of(bundled)]
    assert (f"runtime {nothing}\\bin\\java.exe refused: no jvm.dll below {nothing}\\bin or below "
            f"{nothing}\\bin\\..\\jre\\bin in client, server, j9vm, hotspot or jrockit") in lines
    assert_loaded(result, lines, bundled)


def test_without_setting_134_a_directory_without_java_is_not_loaded(wine, pack, tmp_path, runtime_registry):
    launcher = Launcher(wine, pack, tmp_path, {128: "Anothing;Bjre"})
    (launcher.app / "nothing").mkdir()
    bundled = make_jre(launcher.app / "jre", "17.0.2")
    result, lines = launcher.run()
    assert load_attempts(lines) == [exe_of(bundled)]
    assert_loaded(result, lines, bundled)


def test_unknown_letters_are_logged_and_skipped(wine, pack, tmp_path, runtime_registry):
    launcher = Launcher(wine, pack, tmp_path, {128: "Xjre;ajre;Bjre"})
    bundled = make_jre(launcher.app / "jre", "17.0.2")
    result, lines = launcher.run()
    assert ["Testing location jre (type X)", "Testing location jre (type a)", "Testing location jre (type B)"] == [
        line for line in lines if line.startswith("Testing location")]
    assert load_attempts(lines) == [exe_of(bundled)]


# ---------------------------------------------------------------------------------------
# Location files and environment variables


def test_preferred_location_accepts_a_pre_release_and_ends_the_search(wine, pack, tmp_path, runtime_registry):
    preferred = make_jre(tmp_path / "ea", "18-ea", runtime_version="18-ea+5")
    launcher = Launcher(wine, pack, tmp_path, {128: "Bjre", 130: "0"})
    bundled = make_jre(launcher.app / "jre", "17.0.2")
    launcher.write_location_file("pref_jre.cfg", winpath(preferred.root))
    result, lines = launcher.run()
    assert f"Has preferred location {winpath(preferred.root)}" in lines
    assert "Using preferred location" in lines
    assert_loaded(result, lines, preferred)
    assert not loaded_from(bundled)
    assert not any(line.startswith("Testing location") for line in lines)


def test_preferred_location_out_of_range_is_ignored(wine, pack, tmp_path, runtime_registry):
    old = make_jre(tmp_path / "old", "1.8.0_201")
    launcher = Launcher(wine, pack, tmp_path, {126: "11", 128: "Bjre"})
    bundled = make_jre(launcher.app / "jre", "17.0.2")
    launcher.write_location_file("pref_jre.cfg", winpath(old.root))
    result, lines = launcher.run()
    assert f"Has preferred location {winpath(old.root)}" in lines
    assert "Using preferred location" not in lines
    assert_loaded(result, lines, bundled)


def test_installer_location_comes_after_the_main_pass(wine, pack, tmp_path, runtime_registry):
    installed = make_jre(tmp_path / "installed", "17.0.2")
    # The application root (setting 10003) is where the location files are looked for.
    launcher = Launcher(wine, pack, tmp_path, {126: "11", 128: "Bjre", 10003: ".."})
    bundled = make_jre(launcher.app / "jre", "1.8.0_201")
    root = tmp_path / ".quillwork"
    root.mkdir()
    (root / "inst_jre.cfg").write_bytes(winpath(installed.root).encode() + b"\r\n\r\n")
    result, lines = launcher.run()
    names = [line for line in lines if line.startswith(("Testing", "Has installer", "Using installer"))]
    assert names == ["Testing location jre (type B)", f"Has installer location {winpath(installed.root)}",
                     "Using installer location"]
    assert_loaded(result, lines, installed)
    assert not loaded_from(bundled)


def test_ravel_java_home_wins_over_quillwork_java_home(wine, pack, tmp_path, runtime_registry):
    ravel = make_jre(tmp_path / "ravel", "11.0.2")
    quillwork = make_jre(tmp_path / "quillwork", "17.0.2")
    launcher = Launcher(wine, pack, tmp_path, {})
    result, lines = launcher.run(env={"RAVEL_JAVA_HOME": winpath(ravel.root),
                                      "QUILLWORK_JAVA_HOME": winpath(quillwork.root)})
    assert lines.index("Search sequence finished") < lines.index(f"Trying to load JVM-DLL from {exe_of(ravel)}")
    assert_loaded(result, lines, ravel)
    assert not loaded_from(quillwork)


def test_quillwork_java_home_is_used_when_ravel_java_home_does_not_load(wine, pack, tmp_path, runtime_registry):
    broken = make_jre(tmp_path / "ravel", "11.0.2", jvm=(), broken_jvm=("server",))
    quillwork = make_jre(tmp_path / "quillwork", "17.0.2")
    launcher = Launcher(wine, pack, tmp_path, {})
    result, lines = launcher.run(env={"RAVEL_JAVA_HOME": winpath(broken.root),
                                      "QUILLWORK_JAVA_HOME": winpath(quillwork.root)})
    assert load_attempts(lines) == [exe_of(broken), exe_of(quillwork)]
    assert_loaded(result, lines, quillwork)


# ---------------------------------------------------------------------------------------
# What the user sees when nothing can be used


def assert_failure(result, lines, text):
    assert result.returncode == 1
    assert result.stdout == ""
    # The text, then (with the log on) an empty line and the log's path.
    assert result.stderr.split("\r\n")[0] == text


def test_no_runtime_at_all_names_the_launchers_bitness(wine, pack, tmp_path, runtime_registry):
    result, lines = Launcher(wine, pack, tmp_path, {128: "Bjre;Y"}).run()
    assert "ERROR: No JVM found" in lines
    assert "LoadDLL (1, (null), 0)" in lines
    assert_failure(result, lines, "No usable 64-bit Java runtime")


def test_directory_runtime_that_does_not_load_names_the_directory(wine, pack, tmp_path, runtime_registry):
    launcher = Launcher(wine, pack, tmp_path, {128: "Abroken"})
    make_jre(launcher.app / "broken", "17.0.2", jvm=(), broken_jvm=("server",))
    result, lines = launcher.run()
    assert "ERROR: Could not get DLL-Handle." in lines
    assert "ERROR: Could not load functions" in lines
    assert_failure(result, lines, "The Java runtime in broken cannot be loaded")


def test_environment_runtime_that_does_not_load_names_the_variable(wine, pack, tmp_path, runtime_registry):
    broken = make_jre(tmp_path / "broken", "17.0.2", jvm=(), broken_jvm=("server",))
    launcher = Launcher(wine, pack, tmp_path, {128: "EMY_JAVA"})
    result, lines = launcher.run(env={"MY_JAVA": winpath(broken.root)})
    assert load_attempts(lines) == [exe_of(broken)]
    assert_failure(result, lines, "The Java runtime named by MY_JAVA cannot be loaded")


def test_runtime_on_the_search_path_that_does_not_load_names_the_bitness(wine, pack, tmp_path, runtime_registry):
    broken = make_jre(tmp_path / "broken", "17.0.2", jvm=(), broken_jvm=("server",))
    launcher = Launcher(wine, pack, tmp_path, {128: "S"})
    result, lines = launcher.run(env={"PATH": winpath(broken.root / "bin") + ";C:\\windows\\system32;C:\\windows"})
    assert load_attempts(lines) == [exe_of(broken)]
    assert_failure(result, lines, "No usable 64-bit Java runtime")


def test_registry_runtime_that_does_not_load_is_retried_then_reported(wine, pack, tmp_path, runtime_registry):
    broken = make_jre(tmp_path / "broken", "17.0.2", jvm=(), broken_jvm=("server",))
    runtime_registry.javasoft("JRE", "17", {"17": broken}).apply()
    launcher = Launcher(wine, pack, tmp_path, {128: "Y"})
    result, lines = launcher.run()
    assert f"add non-working java {exe_of(broken)}" in lines
    # The failed runtime is refused from then on: it is loaded once only.
    assert load_attempts(lines) == [exe_of(broken)]
    assert_failure(result, lines, "The registered Java runtime cannot be loaded")


def test_the_last_candidates_kind_decides_the_message(wine, pack, tmp_path, runtime_registry):
    # A directory that fails first, then an environment variable that fails too. The
    # directory is absolute, so the fallback pass does not try it again afterwards.
    bad = make_jre(tmp_path / "bad", "17.0.2", jvm=(), broken_jvm=("client",))
    broken = make_jre(tmp_path / "broken", "17.0.2", jvm=(), broken_jvm=("server",))
    launcher = Launcher(wine, pack, tmp_path, {128: f"A{winpath(bad.root)};EMY_JAVA"})
    result, lines = launcher.run(env={"MY_JAVA": winpath(broken.root)})
    assert load_attempts(lines) == [exe_of(bad), exe_of(broken)]
    assert_failure(result, lines, "The Java runtime named by MY_JAVA cannot be loaded")


def test_a_relative_directory_that_does_not_load_is_tried_again_in_the_fallback_pass(wine, pack, tmp_path,
                                                                                    runtime_registry):
    broken = make_jre(tmp_path / "broken", "17.0.2", jvm=(), broken_jvm=("server",))
    launcher = Launcher(wine, pack, tmp_path, {128: "EMY_JAVA;Abad"})
    bad = make_jre(launcher.app / "bad", "17.0.2", jvm=(), broken_jvm=("client",))
    result, lines = launcher.run(env={"MY_JAVA": winpath(broken.root)})
    assert load_attempts(lines) == [exe_of(broken), exe_of(bad), exe_of(bad)]
    assert_failure(result, lines, "The Java runtime in bad cannot be loaded")
