"""The places a runtime is looked up in, and which one wins when several fit: the Java
vendor's registry keys, the located and shared runtime keys of both hives, earlier
installations in both registry views, environment variables and the search path. The log
is the oracle: every candidate shows up as a "checkJavaExe (...)" line, every winner in the
line that names it and in the JVM library load that follows."""
import re
import shutil
from pathlib import Path

import pytest

from conftest import NO_JAVA_HOMES, LoggedLauncher, log_lines, winpath
from runtimes import INSTALLATIONS, JAVASOFT, make_jdk, make_jre, runtime_registry  # noqa: F401
from test_jvm_search import exe_of, load_attempts

APP_ID = "com.example.lookup"


class Launcher(LoggedLauncher):
    """A packed console launcher in `directory/app`; each `/run` logs into a folder of its own."""

    def __init__(self, wine, pack, directory: Path, settings: dict):
        super().__init__(wine, pack, directory, {101: "LookupTest", 107: "0", **settings})

    def run(self, env=None, cwd=None):
        """The log lines of the run, without their time prefix."""
        _, log = self.run_logged(env={**NO_JAVA_HOMES, **(env or {})}, cwd=cwd)
        return log_lines(log)


def normalised(path) -> str:
    return winpath(path).lower()


def checked(lines):
    """The executables handed to checkJavaExe, in order, lower-cased."""
    return [m.group(1).lower() for line in lines if (m := re.match(r"checkJavaExe \((.*), \[out\], ", line))]


# ---------------------------------------------------------------------------------------
# Java vendor keys


def test_current_version_of_the_jdk_key_wins_when_newer(wine, pack, tmp_path, runtime_registry):
    jdk11 = make_jdk(tmp_path / "jdk11", "11.0.2")
    jre8 = make_jre(tmp_path / "jre8", "1.8.0_201")
    runtime_registry.javasoft("JDK", "11", {"11": jdk11}).javasoft("JRE", "1.8", {"1.8": jre8}).apply()
    lines = Launcher(wine, pack, tmp_path, {128: "Y"}).run()
    assert checked(lines)[0] == exe_of(jdk11)
    assert f"found sun {exe_of(jdk11)} 11.0.2" in lines
    assert load_attempts(lines)[0] == exe_of(jdk11)


def test_equal_current_versions_choose_the_jre_key(wine, pack, tmp_path, runtime_registry):
    jdk8 = make_jdk(tmp_path / "jdk8", "1.8.0_201")
    jre8 = make_jre(tmp_path / "jre8", "1.8.0_201")
    runtime_registry.javasoft("JDK", "1.8", {"1.8": jdk8}).javasoft("JRE", "1.8", {"1.8": jre8}).apply()
    lines = Launcher(wine, pack, tmp_path, {128: "Y"}).run()
    assert f"found sun {exe_of(jre8)} 1.8.0_201" in lines
    assert not any(exe.startswith(normalised(jdk8.root)) for exe in checked(lines))


def test_jdk_required_ignores_the_jre_key(wine, pack, tmp_path, runtime_registry):
    jdk8 = make_jdk(tmp_path / "jdk8", "1.8.0_201")
    jre11 = make_jre(tmp_path / "jre11", "11.0.2")
    runtime_registry.javasoft("JDK", "1.8", {"1.8": jdk8}).javasoft("JRE", "11", {"11": jre11}).apply()
    lines = Launcher(wine, pack, tmp_path, {128: "Y", 131: "1"}).run()
    inner = normalised(jdk8.root / "jre" / "bin" / "java.exe")
    assert f"found sun {inner} 1.8.0_201" in lines
    assert not any(exe.startswith(normalised(jre11.root)) for exe in checked(lines))


def test_version_subkeys_are_tried_from_the_greatest_name_down(wine, pack, tmp_path, runtime_registry):
    # Every home holds a runtime below the minimum, so all three are tried; the key names
    # themselves pass the minimum (1.8 does, since a shorter name passes once it is equal).
    homes = {name: make_jre(tmp_path / f"home-{name}", "1.6.0_45") for name in ("1.8", "1.8.0_201", "9")}
    runtime_registry.javasoft("JRE", homes=homes).apply()
    lines = Launcher(wine, pack, tmp_path, {126: "1.8.0_100", 128: "Y"}).run()
    assert checked(lines) == [exe_of(homes[name]) for name in ("9", "1.8.0_201", "1.8")]
    assert not any(line.startswith("found sun") for line in lines)


def test_version_subkeys_out_of_range_are_not_tried(wine, pack, tmp_path, runtime_registry):
    homes = {name: make_jre(tmp_path / f"home-{name}", version)
             for name, version in (("1.7", "1.7.0_80"), ("11", "11.0.2"), ("17", "17.0.2"))}
    runtime_registry.javasoft("JDK", homes=homes).apply()
    lines = Launcher(wine, pack, tmp_path, {126: "1.8", 127: "11", 128: "Y"}).run()
    assert checked(lines) == [exe_of(homes["11"])]
    assert f"found sun {exe_of(homes['11'])} 11.0.2" in lines


# ---------------------------------------------------------------------------------------
# Located and shared runtimes


@pytest.mark.parametrize("user_version, winner", [("1.8.0_201", "machine"), ("1.8.0_202", "user")])
def test_located_runtime_of_the_machine_wins_unless_the_users_is_newer(wine, pack, tmp_path, runtime_registry,
                                                                        user_version, winner):
    runtimes = {"user": make_jre(tmp_path / "user", user_version),
                "machine": make_jre(tmp_path / "machine", "1.8.0_201")}
    runtime_registry.located(runtimes["user"].java_exe, hive="HKCU")
    runtime_registry.located(runtimes["machine"].java_exe, hive="HKLM").apply()
    lines = Launcher(wine, pack, tmp_path, {128: "Y"}).run()
    assert sorted(checked(lines)) == sorted(exe_of(r) for r in runtimes.values())
    expected = runtimes[winner]
    assert f"found located {exe_of(expected)} {expected.version}" in lines
    assert load_attempts(lines)[0] == exe_of(expected)


def test_newest_located_entry_of_one_hive_wins(wine, pack, tmp_path, runtime_registry):
    runtimes = [make_jre(tmp_path / name, version)
                for name, version in (("a", "11.0.2"), ("b", "17.0.2"), ("c", "1.8.0_201"))]
    for runtime in runtimes:
        runtime_registry.located(runtime.java_exe, hive="HKCU")
    runtime_registry.apply()
    lines = Launcher(wine, pack, tmp_path, {128: "Y"}).run()
    assert len(checked(lines)) == 3
    assert f"found located {exe_of(runtimes[1])} 17.0.2" in lines


def test_located_entries_allow_pre_releases_whatever_setting_130_says(wine, pack, tmp_path, runtime_registry):
    early = make_jre(tmp_path / "early", "21-ea")
    runtime_registry.located(early.java_exe).apply()
    lines = Launcher(wine, pack, tmp_path, {128: "Y", 130: "0"}).run()
    assert f"found located {exe_of(early)} 21-ea" in lines
    assert "beta vm not allowed" not in lines


def test_shared_runtimes_consider_both_kinds_of_entries(wine, pack, tmp_path, runtime_registry):
    outside = make_jre(tmp_path / "java" / "jre11", "11.0.2")
    inside = make_jre(tmp_path / "qwk_jres" / "jre17", "17.0.2")
    other_key = make_jre(tmp_path / "other" / "jre21", "21.0.1")
    runtime_registry.shared("acme", outside.java_exe, hive="HKCU")
    runtime_registry.shared("acme", inside.java_exe, hive="HKLM")
    runtime_registry.shared("someone-else", other_key.java_exe, hive="HKCU").apply()
    lines = Launcher(wine, pack, tmp_path, {128: "Y", 167: "acme"}).run()
    assert "Sharing key: acme" in lines
    assert sorted(checked(lines)) == sorted([exe_of(outside), exe_of(inside)])
    assert load_attempts(lines) == [exe_of(inside)]


def test_without_a_sharing_key_shared_runtimes_are_not_read(wine, pack, tmp_path, runtime_registry):
    shared = make_jre(tmp_path / "shared", "17.0.2")
    runtime_registry.shared("acme", shared.java_exe).apply()
    lines = Launcher(wine, pack, tmp_path, {128: "Y"}).run()
    assert "Sharing key: " in lines
    assert checked(lines) == []


@pytest.fixture
def public_and_private(tmp_path, runtime_registry):
    """A fitting runtime under the vendor keys, a located one outside and a located one
    inside a qwk_jres folder."""
    runtimes = {"vendor": make_jre(tmp_path / "vendor", "17.0.2"),
                "outside": make_jre(tmp_path / "outside", "11.0.2"),
                "inside": make_jre(tmp_path / "qwk_jres" / "inside", "1.8.0_201")}
    runtime_registry.javasoft("JRE", "17", {"17": runtimes["vendor"]})
    runtime_registry.located(runtimes["outside"].java_exe)
    runtime_registry.located(runtimes["inside"].java_exe).apply()
    return runtimes


@pytest.mark.parametrize("settings, consulted, winner", [
    ({}, ["vendor", "outside"], "vendor"),
    ({168: "1"}, ["vendor", "outside", "inside"], "vendor"),
    ({165: "1"}, [], None),
    ({165: "1", 168: "1"}, ["inside"], "inside"),
])
def test_settings_165_and_168_choose_which_runtimes_count(wine, pack, tmp_path, public_and_private,
                                                          settings, consulted, winner):
    lines = Launcher(wine, pack, tmp_path, {128: "Y", **settings}).run()
    assert sorted(checked(lines)) == sorted(exe_of(public_and_private[name]) for name in consulted)
    if winner is None:
        assert load_attempts(lines) == []
        assert not any(line.startswith(("found sun", "found located")) for line in lines)
    else:
        assert load_attempts(lines)[0] == exe_of(public_and_private[winner])


def test_equal_vendor_and_located_versions_choose_the_located_runtime(wine, pack, tmp_path, runtime_registry):
    vendor = make_jre(tmp_path / "vendor", "17.0.2")
    located = make_jre(tmp_path / "located", "17.0.2")
    runtime_registry.javasoft("JDK", "17", {"17": vendor}).located(located.java_exe).apply()
    lines = Launcher(wine, pack, tmp_path, {128: "Y"}).run()
    assert f"found sun {exe_of(vendor)} 17.0.2" in lines
    assert f"found located {exe_of(located)} 17.0.2" in lines
    assert load_attempts(lines)[0] == exe_of(located)


# ---------------------------------------------------------------------------------------
# String values with environment references (REG_EXPAND_SZ)

REG_EXPAND_SZ = 2


def expandable(text: str) -> bytes:
    return text.encode("utf-16-le") + b"\0\0"


def test_vendor_keys_and_installations_expand_environment_references(wine, pack, tmp_path, runtime_registry):
    jdk = make_jdk(tmp_path / "jdks" / "jdk11", "11.0.2")
    runtime_registry.javasoft("JDK", "11")
    runtime_registry.exact_values.append(
        ("HKLM", 0, JAVASOFT + "\\JDK\\11", "JavaHome", REG_EXPAND_SZ, expandable("%RAVEL_TEST_JDKS%\\jdk11")))
    runtime_registry.apply()
    env = {"RAVEL_TEST_JDKS": winpath(tmp_path / "jdks")}
    lines = Launcher(wine, pack, tmp_path, {128: "Y"}).run(env=env)
    assert f"found sun {exe_of(jdk)} 11.0.2" in lines
    assert load_attempts(lines)[0] == exe_of(jdk)

    # Without the variable the reference stays as written, and names no runtime.
    runtime_registry.clear()
    fitting = make_jre(tmp_path / "Apps" / "App2" / "jre", "17.0.2")
    runtime_registry.exact_values.append(
        ("HKCU", 0, INSTALLATIONS, APP_ID, REG_EXPAND_SZ, expandable("%RAVEL_TEST_APPS%\\App1;%RAVEL_TEST_APPS%\\App2")))
    runtime_registry.apply()
    launcher = Launcher(wine, pack, tmp_path / "second", {160: APP_ID})
    lines = launcher.run(env={"RAVEL_TEST_APPS": winpath(tmp_path / "Apps")})
    apps = winpath(tmp_path / "Apps")
    assert f"found installations: {apps}\\App1;{apps}\\App2" in lines
    assert f"found JRE from previous installation (user) {exe_of(fitting)}" in lines
    lines = launcher.run(env={"RAVEL_TEST_APPS": None})
    assert "found installations: %RAVEL_TEST_APPS%\\App1;%RAVEL_TEST_APPS%\\App2" in lines
    assert exe_of(fitting) not in checked(lines)


# ---------------------------------------------------------------------------------------
# Earlier installations


def test_installations_are_visited_in_order_past_a_runtime_that_is_too_old(wine, pack, tmp_path,
                                                                            runtime_registry):
    old = make_jre(tmp_path / "App1" / "jre", "1.6.0_45")
    fitting = make_jre(tmp_path / "App2" / "jre", "11.0.2")
    runtime_registry.installations(APP_ID, [tmp_path / "App1", tmp_path / "App2"], hive="HKCU").apply()
    lines = Launcher(wine, pack, tmp_path, {126: "1.8", 160: APP_ID}).run()
    listing = f"{winpath(tmp_path / 'App1')};{winpath(tmp_path / 'App2')}"
    assert f"found installations: {listing}" in lines
    assert f"java version did not match in {winpath(tmp_path / 'App1')}\\jre" in lines
    assert checked(lines) == [exe_of(old), exe_of(fitting)]
    assert f"found JRE from previous installation (user) {exe_of(fitting)}" in lines


def test_installations_of_the_machine_are_also_read_in_the_32_bit_view(wine, pack, tmp_path, runtime_registry):
    fitting = make_jre(tmp_path / "Install" / "jre", "17.0.2")
    runtime_registry.installations(APP_ID, [tmp_path / "Install"], hive="HKLM", view=32).apply()
    lines = Launcher(wine, pack, tmp_path, {160: APP_ID}).run()
    checks = [line for line in lines if line.startswith("checking app id ")]
    # User hive in both views, then the machine's default view, then its 32-bit view.
    assert [re.match(r"checking app id (\S+) \((\d+), ", line).groups() for line in checks] == \
        [(APP_ID, "0"), (APP_ID, "512"), (APP_ID, "0"), (APP_ID, "512")]
    assert f"found JRE from previous installation (machine) {exe_of(fitting)}" in lines


def test_installation_entries_without_a_runtime_are_logged_and_passed(wine, pack, tmp_path, runtime_registry):
    fitting = make_jre(tmp_path / "Second" / "jre", "17.0.2")
    runtime_registry.installations(APP_ID, [tmp_path / "First", tmp_path / "Second"]).apply()
    lines = Launcher(wine, pack, tmp_path, {160: APP_ID, 131: "1"}).run()
    # A JDK is required and neither home has lib\tools.jar: no executable is derived.
    assert f"did not find java in {winpath(tmp_path / 'First')}\\jre" in lines
    assert f"did not find java in {winpath(tmp_path / 'Second')}\\jre" in lines
    assert exe_of(fitting) not in checked(lines)


def test_missing_installation_value_is_logged(wine, pack, tmp_path, runtime_registry):
    runtime_registry.installations("another.app", [tmp_path / "Elsewhere"]).apply()
    lines = Launcher(wine, pack, tmp_path, {160: APP_ID}).run()
    assert "could not query value node 0" in lines
    assert checked(lines) == []


# ---------------------------------------------------------------------------------------
# Directories, environment variables, the search path


def test_environment_home_written_with_forward_slashes_is_accepted(wine, pack, tmp_path, runtime_registry):
    jdk = make_jdk(tmp_path / "jdk", "17.0.2")
    forward = winpath(jdk.root).replace("\\", "/")
    lines = Launcher(wine, pack, tmp_path, {128: "EMY_JDK"}).run(env={"MY_JDK": forward})
    assert checked(lines) == [exe_of(jdk)]
    assert "checkJavaExe returning 1" in lines
    assert load_attempts(lines) == [exe_of(jdk)]


def test_unset_environment_variable_yields_no_candidate(wine, pack, tmp_path, runtime_registry):
    lines = Launcher(wine, pack, tmp_path, {128: "EMY_JDK"}).run(env={"MY_JDK": None})
    assert checked(lines) == []


def test_java_on_the_search_path(wine, pack, tmp_path, runtime_registry):
    jre = make_jre(tmp_path / "onpath", "17.0.2")
    path = winpath(jre.root / "bin") + ";C:\\windows\\system32;C:\\windows"
    lines = Launcher(wine, pack, tmp_path, {128: "S"}).run(env={"PATH": path})
    assert checked(lines) == [exe_of(jre)]
    assert load_attempts(lines) == [exe_of(jre)]


def test_java_in_the_current_folder_or_beside_the_launcher_is_not_on_the_search_path(wine, pack, tmp_path,
                                                                                    runtime_registry):
    # A runtime whose bin is the folder the launcher is started from, and one whose bin holds
    # the launcher itself: the system's own search would take either before PATH. PATH's
    # relative entries would name the current folder too.
    planted = make_jre(tmp_path / "planted", "17.0.2")
    beside = make_jre(tmp_path / "beside", "17.0.2")
    launcher = Launcher(wine, pack, tmp_path, {128: "S"})
    launcher.exe = Path(shutil.copy(launcher.exe, beside.root / "bin"))
    jre = make_jre(tmp_path / "onpath", "17.0.2")
    path = ".;bin;" + winpath(jre.root / "bin") + ";C:\\windows\\system32;C:\\windows"
    lines = launcher.run(env={"PATH": path}, cwd=planted.root / "bin")
    assert checked(lines) == [exe_of(jre)]
    assert load_attempts(lines) == [exe_of(jre)]
    assert not planted.starts() and not beside.starts()
    # With nothing on PATH there is nothing to find.
    lines = launcher.run(env={"PATH": "."}, cwd=planted.root / "bin")
    assert checked(lines) == [] and load_attempts(lines) == []
    assert not planted.starts() and not beside.starts()


def test_jdk_required_needs_the_tools_archive(wine, pack, tmp_path, runtime_registry):
    without = make_jdk(tmp_path / "without", "1.8.0_201", tools_jar=False)
    with_tools = make_jdk(tmp_path / "with", "1.8.0_201")
    sequence = f"A{winpath(without.root)};A{winpath(with_tools.root)}"
    lines = Launcher(wine, pack, tmp_path, {128: sequence, 131: "1"}).run()
    # The home without lib\tools.jar names no executable, so nothing of it is checked.
    assert checked(lines) == [normalised(with_tools.root / "jre" / "bin" / "java.exe")]


def test_home_with_only_bin_java_is_accepted_without_jdk_requirement(wine, pack, tmp_path, runtime_registry):
    jdk = make_jdk(tmp_path / "jdk", "17.0.2", tools_jar=False)
    lines = Launcher(wine, pack, tmp_path, {128: "A" + winpath(jdk.root)}).run()
    assert checked(lines) == [exe_of(jdk)]
    assert "checkJavaExe returning 1" in lines


def test_jre_inside_a_jdk_is_preferred_to_its_bin(wine, pack, tmp_path, runtime_registry):
    jdk = make_jdk(tmp_path / "jdk8", "1.8.0_201")
    lines = Launcher(wine, pack, tmp_path, {128: "A" + winpath(jdk.root)}).run()
    assert checked(lines) == [normalised(jdk.root / "jre" / "bin" / "java.exe")]
