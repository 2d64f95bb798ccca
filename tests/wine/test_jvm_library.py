"""Loading a runtime's jvm.dll: the JVM subdirectories in their order, the JDK's inner JRE
as the second try, PATH and DLL directories set for a load and put back when it fails, the
ucrtbase preload on older Windows versions, and the environment prepared at start-up (PATH
reduced to the Windows directories, the Java options variables removed, the native library
directories put in front of PATH)."""
import pytest

from conftest import winpath
from runtimes import make_jdk, make_jre, runtime_registry, standin_file  # noqa: F401
from test_jvm_search import Launcher, assert_loaded, exe_of, load_attempts

ERROR_BAD_EXE_FORMAT = 193
# A PATH the tests set themselves, so that every PATH line can be compared exactly.
BASE_PATH = "C:\\windows\\system32;C:\\windows"


def trying_lines(lines):
    return [line for line in lines if line.startswith("Trying ") and " (exists " in line]


def path_lines(lines):
    return [line for line in lines if line.startswith("Setting PATH")]


def jvm_path(bin_dir, vm):
    return f"{bin_dir}\\{vm}\\jvm.dll"


# ---------------------------------------------------------------------------------------
# JVM subdirectories


def test_server_only_runtime_tries_client_first(wine, pack, tmp_path, runtime_registry):
    launcher = Launcher(wine, pack, tmp_path, {128: "Bjre"})
    jre = make_jre(launcher.app / "jre", "17.0.2", jvm=("server",))
    result, lines = launcher.run()
    bin_dir = exe_of(jre)[:-len("\\java.exe")]
    assert trying_lines(lines) == [f"Trying {jvm_path(bin_dir, 'client')} (exists 0)",
                                   f"Trying {jvm_path(bin_dir, 'server')} (exists 1)"]
    # A file that is not there is no loading failure worth an error code.
    assert not any(line.startswith("Failed with error code") for line in lines)
    assert_loaded(result, lines, jre)
    [load] = jre.records("jvm-load")
    assert load["module"].lower() == jvm_path(bin_dir, "server")


def test_configured_jvm_type_is_tried_first(wine, pack, tmp_path, runtime_registry):
    launcher = Launcher(wine, pack, tmp_path, {128: "Bjre", 152: "server"})
    jre = make_jre(launcher.app / "jre", "17.0.2", jvm=("client", "server"))
    result, lines = launcher.run()
    bin_dir = exe_of(jre)[:-len("\\java.exe")]
    assert trying_lines(lines) == [f"Trying {jvm_path(bin_dir, 'server')} (exists 1)"]
    [load] = jre.records("jvm-load")
    assert load["module"].lower() == jvm_path(bin_dir, "server")


def test_configured_jvm_type_that_is_missing_falls_back_to_the_fixed_order(wine, pack, tmp_path, runtime_registry):
    launcher = Launcher(wine, pack, tmp_path, {128: "Bjre", 152: "minimal"})
    jre = make_jre(launcher.app / "jre", "17.0.2", jvm=("hotspot",))
    result, lines = launcher.run()
    bin_dir = exe_of(jre)[:-len("\\java.exe")]
    assert trying_lines(lines) == [f"Trying {jvm_path(bin_dir, vm)} (exists {int(vm == 'hotspot')})"
                                   for vm in ("minimal", "client", "server", "j9vm", "hotspot")]
    assert_loaded(result, lines, jre)


def test_library_of_the_other_bitness_is_passed_over(wine, pack, tmp_path, runtime_registry):
    launcher = Launcher(wine, pack, tmp_path, {128: "Bjre"})
    jre = make_jre(launcher.app / "jre", "17.0.2", jvm=("server",), broken_jvm=("client",))
    result, lines = launcher.run()
    bin_dir = exe_of(jre)[:-len("\\java.exe")]
    assert trying_lines(lines) == [f"Trying {jvm_path(bin_dir, 'client')} (exists 1)",
                                   f"Trying {jvm_path(bin_dir, 'server')} (exists 1)"]
    assert f"Failed with error code {ERROR_BAD_EXE_FORMAT}" in lines
    [load] = jre.records("jvm-load")
    assert load["module"].lower() == jvm_path(bin_dir, "server")


def test_runtime_whose_libraries_all_fail_is_passed_over_for_the_next_entry(wine, pack, tmp_path, runtime_registry):
    launcher = Launcher(wine, pack, tmp_path, {128: "Abroken;Bjre"})
    broken = make_jre(launcher.app / "broken", "17.0.2", jvm=(), broken_jvm=("server", "client"))
    jre = make_jre(launcher.app / "jre", "17.0.2")
    result, lines = launcher.run()
    assert lines.count(f"Failed with error code {ERROR_BAD_EXE_FORMAT}") == 2
    bin_dir = exe_of(broken)[:-len("\\java.exe")]
    for vm in ("server", "client"):
        assert (f"runtime {jvm_path(bin_dir, vm)} refused: not a 64-bit library; "
                "this launcher runs 64-bit Java runtimes only") in lines
    assert load_attempts(lines) == [exe_of(broken), exe_of(jre)]
    assert_loaded(result, lines, jre)


# ---------------------------------------------------------------------------------------
# PATH around a load


def test_bin_directory_goes_in_front_of_path_for_the_load(wine, pack, tmp_path, runtime_registry):
    launcher = Launcher(wine, pack, tmp_path, {128: "Bjre"})
    jre = make_jre(launcher.app / "jre", "17.0.2")
    result, lines = launcher.run(env={"PATH": BASE_PATH})
    bin_dir = exe_of(jre)[:-len("\\java.exe")]
    assert path_lines(lines) == [f"Setting PATH (native libs) {BASE_PATH}",
                                 f"Setting PATH {len(BASE_PATH) + 1} {bin_dir};{BASE_PATH}"]
    assert_loaded(result, lines, jre)


def test_jdk_is_loaded_through_its_inner_jre_and_the_first_path_change_is_undone(wine, pack, tmp_path,
                                                                                 runtime_registry):
    # Found on the search path, the JDK's own bin\java.exe is the candidate; its bin has no
    # JVM library, the inner JRE has.
    jdk = make_jdk(tmp_path / "jdk8", "1.8.0_201", embedded_jre=True)
    path = winpath(jdk.root / "bin") + ";" + BASE_PATH
    launcher = Launcher(wine, pack, tmp_path, {128: "S"})
    result, lines = launcher.run(env={"PATH": path})
    bin_dir = winpath(jdk.root / "bin").lower()
    inner = bin_dir + "\\..\\jre\\bin"
    assert path_lines(lines) == [f"Setting PATH (native libs) {path}",
                                 f"Setting PATH {len(path) + 1} {bin_dir};{path}",
                                 f"Setting PATH {path}",
                                 f"Setting PATH {len(path) + 1} {inner};{path}"]
    assert trying_lines(lines)[-1] == f"Trying {jvm_path(inner, 'server')} (exists 1)"
    assert "Loading of JVM-DLL successful" in lines
    [load] = jdk.records("jvm-load")
    assert load["module"].lower() == winpath(jdk.root / "jre" / "bin" / "server" / "jvm.dll").lower()


def test_failed_load_puts_path_back_as_it_was(wine, pack, tmp_path, runtime_registry):
    launcher = Launcher(wine, pack, tmp_path, {128: "Abroken;Bjre"})
    broken = make_jre(launcher.app / "broken", "17.0.2", jvm=(), broken_jvm=("server",))
    jre = make_jre(launcher.app / "jre", "17.0.2")
    result, lines = launcher.run(env={"PATH": BASE_PATH})
    broken_bin = exe_of(broken)[:-len("\\java.exe")]
    good_bin = exe_of(jre)[:-len("\\java.exe")]
    inner = winpath(broken.root).lower() + "\\bin\\..\\jre\\bin"
    assert path_lines(lines) == [
        f"Setting PATH (native libs) {BASE_PATH}",
        f"Setting PATH {len(BASE_PATH) + 1} {broken_bin};{BASE_PATH}",
        f"Setting PATH {BASE_PATH}",
        f"Setting PATH {len(BASE_PATH) + 1} {inner};{BASE_PATH}",
        f"Setting PATH {BASE_PATH}",
        # The next candidate starts from the PATH the run had before.
        f"Setting PATH {len(BASE_PATH) + 1} {good_bin};{BASE_PATH}",
    ]
    assert_loaded(result, lines, jre)


def test_dll_directories_are_registered_for_a_load_and_removed_when_it_fails(wine, pack, tmp_path,
                                                                              runtime_registry):
    launcher = Launcher(wine, pack, tmp_path, {128: "Abroken;Bjre", 154: "1"})
    broken = make_jre(launcher.app / "broken", "17.0.2", jvm=(), broken_jvm=("server",))
    jre = make_jre(launcher.app / "jre", "17.0.2")
    result, lines = launcher.run()
    broken_bin = exe_of(broken)[:-len("\\java.exe")]
    good_bin = exe_of(jre)[:-len("\\java.exe")]
    inner = winpath(broken.root).lower() + "\\bin\\..\\jre\\bin"
    registrations = [line for line in lines if "DLL directory" in line]
    # The inner JRE's directory does not exist: the system refuses to register it, so there
    # is nothing to remove afterwards.
    assert registrations == [f"Adding DLL directory {broken_bin}", "Removing DLL directory",
                             f"Adding DLL directory {inner}",
                             f"Adding DLL directory {good_bin}"]
    assert_loaded(result, lines, jre)


def test_without_setting_154_no_dll_directory_is_registered(wine, pack, tmp_path, runtime_registry):
    launcher = Launcher(wine, pack, tmp_path, {128: "Abroken;Bjre", 10004: "lib"})
    make_jre(launcher.app / "broken", "17.0.2", jvm=(), broken_jvm=("server",))
    jre = make_jre(launcher.app / "jre", "17.0.2")
    result, lines = launcher.run()
    assert not any("DLL directory" in line for line in lines)
    assert_loaded(result, lines, jre)


# ---------------------------------------------------------------------------------------
# Where the JVM library's own imports are found


def with_library_needing_aux(jre, aux_folder):
    """Replaces the runtime's bin\\server\\jvm.dll with the stand-in that imports jvmaux.dll,
    and puts jvmaux.dll into `aux_folder` only."""
    (jre.root / "bin" / "server" / "jvm.dll").write_bytes(standin_file("jvm_needs_aux.dll", 64).read_bytes())
    aux_folder.mkdir(parents=True, exist_ok=True)
    (aux_folder / "jvmaux.dll").write_bytes(standin_file("jvmaux.dll", 64).read_bytes())


@pytest.mark.parametrize("aux_in", ["server", "bin"])
def test_jvm_library_finds_its_imports_in_its_own_folder_and_in_bin(wine, pack, tmp_path, runtime_registry, aux_in):
    # Its own folder is searched because the library is loaded with the altered search;
    # bin because it is put on PATH for the load (a real runtime's C runtime lives there).
    launcher = Launcher(wine, pack, tmp_path, {128: "Bjre"})
    jre = make_jre(launcher.app / "jre", "17.0.2", jvm=("server",))
    bin_dir = jre.root / "bin"
    with_library_needing_aux(jre, bin_dir / "server" if aux_in == "server" else bin_dir)
    result, lines = launcher.run()
    assert not any(line.startswith("Failed with error code") for line in lines)
    assert_loaded(result, lines, jre)


@pytest.fixture
def relay_of_library_loading(wine):
    """Limits Wine's relay trace to the DLL-search calls, so that WINEDEBUG=+relay prints
    those calls (and their callers' threads) of every program run during the test."""
    functions = ("SetDllDirectoryW", "SetDefaultDllDirectories", "LoadLibraryA", "LoadLibraryW", "LoadLibraryExA",
                 "LoadLibraryExW")
    include = ";".join(f"{dll}.{f}" for dll in ("kernel32", "kernelbase") for f in functions)
    result = wine.command("reg", "add", "HKCU\\Software\\Wine\\Debug", "/v", "RelayInclude", "/d", include, "/f")
    assert result.returncode == 0, result.stderr
    yield {"WINEDEBUG": "+relay"}
    wine.command("reg", "delete", "HKCU\\Software\\Wine\\Debug", "/v", "RelayInclude", "/f")


def test_current_directory_leaves_the_dll_search_before_any_library_is_loaded(wine, pack, tmp_path, runtime_registry,
                                                                              relay_of_library_loading):
    # On Windows SetDllDirectoryW(L"") takes the current directory out of the search, so a
    # jvmaux.dll in the current folder would not satisfy the JVM library. Wine 8 keeps the
    # current directory in the search after that call (it honours only the stricter
    # SetDefaultDllDirectories, which would drop PATH as well), so under Wine the test shows
    # the call itself, made on the launcher's main thread before any library is loaded, and
    # that the JVM library is loaded by full path with its own folder searched.
    launcher = Launcher(wine, pack, tmp_path, {128: "Bjre"})
    make_jre(launcher.app / "jre", "17.0.2", jvm=("server",))
    result, _ = launcher.run_logged(unix_env=relay_of_library_loading)
    calls = [line for line in result.stderr.splitlines() if ":Call KERNEL" in line]
    [first] = [line for line in calls if 'SetDllDirectoryW(' in line]
    assert first.split("(", 1)[1].split(")")[0].endswith(' L""')
    thread = first.split(":", 1)[0]
    ours = [line for line in calls if line.startswith(thread + ":")]
    assert ours[0] == first
    assert not any("SetDefaultDllDirectories" in line for line in calls)
    jvm_loads = [line for line in ours if "\\\\server\\\\jvm.dll" in line]
    assert jvm_loads, ours
    # LOAD_WITH_ALTERED_SEARCH_PATH (8), a full path.
    assert all(line.startswith(f"{thread}:Call KERNEL32.LoadLibraryExA(") and ",00000008)" in line for line in jvm_loads)


# ---------------------------------------------------------------------------------------
# ucrtbase preload


@pytest.fixture
def windows_version(wine):
    """Sets the Windows version Wine reports (e.g. "win10") for the test; removed afterwards."""
    def _set(version):
        result = wine.command("reg", "add", "HKCU\\Software\\Wine", "/v", "Version", "/d", version, "/f")
        assert result.returncode == 0, result.stderr
    yield _set
    wine.command("reg", "delete", "HKCU\\Software\\Wine", "/v", "Version", "/f")


def test_ucrtbase_is_preloaded_from_the_runtime_on_windows_7(wine, pack, tmp_path, runtime_registry):
    # A new Wine prefix reports Windows 7 (6.1). Wine's own libraries have loaded its
    # builtin ucrtbase.dll before the launcher runs, so the load by name finds that one and
    # the runtime's copy records nothing; the log shows the preload and that it succeeded.
    launcher = Launcher(wine, pack, tmp_path, {128: "Bjre"})
    jre = make_jre(launcher.app / "jre", "17.0.2", ucrtbase=True)
    result, lines = launcher.run(env={"PATH": BASE_PATH})
    bin_dir = exe_of(jre)[:-len("\\java.exe")]
    assert "Could not preload ucrtbase.dll" not in lines
    # Once per attempt, before PATH and the JVM library.
    assert lines.index("Preloading ucrtbase.dll 4") == lines.index(f"Trying to load JVM-DLL from {exe_of(jre)}") + 1
    assert lines.index("Preloading ucrtbase.dll 4") < lines.index(f"Setting PATH {len(BASE_PATH) + 1} {bin_dir};{BASE_PATH}")
    assert lines.count("Preloading ucrtbase.dll 4") == 1
    assert_loaded(result, lines, jre)


def test_ucrtbase_is_not_preloaded_on_windows_10(wine, pack, tmp_path, runtime_registry, windows_version):
    windows_version("win10")
    launcher = Launcher(wine, pack, tmp_path, {128: "Bjre"})
    jre = make_jre(launcher.app / "jre", "17.0.2", ucrtbase=True)
    result, lines = launcher.run()
    assert "Preloading ucrtbase.dll 4" not in lines
    assert not jre.records("ucrtbase-load")
    assert_loaded(result, lines, jre)


def test_runtime_without_ucrtbase_is_not_preloaded(wine, pack, tmp_path, runtime_registry):
    launcher = Launcher(wine, pack, tmp_path, {128: "Bjre"})
    jre = make_jre(launcher.app / "jre", "17.0.2")
    result, lines = launcher.run()
    assert "Preloading ucrtbase.dll 4" not in lines
    assert_loaded(result, lines, jre)


# ---------------------------------------------------------------------------------------
# Start-up preparation


def test_path_is_reduced_to_the_windows_directory_entries(wine, pack, tmp_path, runtime_registry):
    path = "C:\\Windows\\system32;C:\\Tools;C:\\WINDOWS"
    result, lines = Launcher(wine, pack, tmp_path, {10010: "1"}).run(env={"PATH": path})
    # Wine's Windows directory is C:\windows (ten characters).
    assert f"reducing PATH 10 {len(path) + 1} {path}" in lines
    assert "reduced PATH 30 to C:\\Windows\\system32;C:\\WINDOWS" in lines
    assert "Setting PATH (native libs) C:\\Windows\\system32;C:\\WINDOWS" in lines


def test_path_without_windows_entries_is_left_as_it_was(wine, pack, tmp_path, runtime_registry):
    path = "C:\\Tools;D:\\bin"
    result, lines = Launcher(wine, pack, tmp_path, {10010: "1"}).run(env={"PATH": path})
    assert "reduced PATH 0 to " in lines
    assert f"Setting PATH (native libs) {path}" in lines


def test_path_is_not_reduced_without_setting_10010(wine, pack, tmp_path, runtime_registry):
    path = "C:\\Windows\\system32;C:\\Tools"
    result, lines = Launcher(wine, pack, tmp_path, {}).run(env={"PATH": path})
    assert not any(line.startswith("reduc") for line in lines)
    assert f"Setting PATH (native libs) {path}" in lines


def test_native_library_directories_go_in_front_of_path(wine, pack, tmp_path, runtime_registry):
    launcher = Launcher(wine, pack, tmp_path, {10004: "lib;;C:\\native", 154: "1"})
    result, lines = launcher.run(env={"PATH": BASE_PATH})
    app = winpath(launcher.app)
    assert "native lib dir is lib;;C:\\native" in lines
    assert f"Setting PATH (native libs) {app}\\lib;C:\\native;{BASE_PATH}" in lines
    # Registered for the whole run.
    assert f"Adding DLL directory {app}\\lib" in lines
    assert "Adding DLL directory C:\\native" in lines
    assert "Removing DLL directory" not in lines


def test_native_library_directories_expand_placeholders(wine, pack, tmp_path, runtime_registry):
    launcher = Launcher(wine, pack, tmp_path, {10004: "${NATIVE_HOME}\\x86;%RAVEL_EXEDIR%native"})
    result, lines = launcher.run(env={"PATH": BASE_PATH, "NATIVE_HOME": "C:\\natives"})
    app = winpath(launcher.app)
    assert f"Setting PATH (native libs) C:\\natives\\x86;{app}\\native;{BASE_PATH}" in lines


def test_native_library_directories_precede_the_runtime_bin_directory(wine, pack, tmp_path, runtime_registry):
    launcher = Launcher(wine, pack, tmp_path, {128: "Bjre", 10004: "lib"})
    jre = make_jre(launcher.app / "jre", "17.0.2")
    result, lines = launcher.run(env={"PATH": BASE_PATH})
    native = f"{winpath(launcher.app)}\\lib;{BASE_PATH}"
    bin_dir = exe_of(jre)[:-len("\\java.exe")]
    assert path_lines(lines) == [f"Setting PATH (native libs) {native}",
                                 f"Setting PATH {len(native) + 1} {bin_dir};{native}"]


@pytest.mark.parametrize("ignore", [True, False])
def test_java_options_variables_are_removed_at_start_with_setting_10012(wine, pack, tmp_path, runtime_registry,
                                                                        ignore):
    launcher = Launcher(wine, pack, tmp_path, {128: "Bjre", 10012: "1" if ignore else "0"})
    jre = make_jre(launcher.app / "jre", "17.0.2")
    options = {"_JAVA_OPTIONS": "-Xmx8m", "JDK_JAVA_OPTIONS": "--jdk", "JAVA_TOOL_OPTIONS": "-Dtool=1"}
    result, lines = launcher.run(env=options)
    assert ("ignoring java options environment variables" in lines) == ignore
    # The version probe reports every options variable it had to hide from java.exe.
    seen = [line for line in lines if line.endswith(tuple(f" is {v}" for v in options.values()))]
    assert seen == ([] if ignore else ["_JAVA_OPTIONS is -Xmx8m", "JAVA_TOOL_OPTIONS is -Dtool=1",
                                       "JDK_JAVA_OPTIONS is --jdk"])
    assert_loaded(result, lines, jre)
