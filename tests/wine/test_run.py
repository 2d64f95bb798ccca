"""A direct run end to end: the JVM options the launcher assembles, the thread it creates the
JVM on, the calls it makes into the JVM and the arguments main receives. The stand-in
jvm.dll (testruntime/) is the oracle: its transcript records the options of
JNI_CreateJavaVM, the creating thread's stack reservation, every class and method lookup,
the static calls with their exact arguments, the properties set and the VM's end; a world
script makes the Java side behave as a test needs (main throwing, a thread outliving main).
"""
import itertools
import re
import time
from pathlib import Path

import pytest

from conftest import NO_JAVA_HOMES, launcher_description, log_lines, logged_env, read_log, winpath
from runtimes import make_jre

LAUNCHER_CLASS = "com/ravel/runtime/WinLauncher"
MESSAGES = {
    1006: "Class path entry {0} not found",
    1008: "Environment variable {0} not defined",
    1010: "Launcher class missing",
    1011: "Launcher main method missing",
}

RUN_NUMBERS = itertools.count(1)


class App:
    """A packed console launcher in `<tmp>/<folder>` with a stand-in JRE beside it (found
    first through setting 128). Each run gets its own temp folder, so its log is the only
    one there, and starts with a fresh transcript."""

    def __init__(self, wine, pack, tmp_path, settings=None, files=None, script=None, folder="app"):
        self.wine = wine
        self.tmp = tmp_path
        self.dir = tmp_path / folder
        self.dir.mkdir(parents=True, exist_ok=True)
        lines = {101: "RunTest", 107: "0", 122: "com.example.App", 128: "Bjre"}
        lines.update(settings or {})
        description = launcher_description(lines, MESSAGES)
        for relative, content in (files or {}).items():
            source = self.dir / ("src_" + relative.replace("\\", "_"))
            source.write_bytes(content)
            description += f"file {relative} = {source.name}\n"
        self.exe = pack(description, directory=self.dir)
        release = {"STANDIN_TRANSCRIPT": "standin.log"}
        if script is not None:
            script_file = tmp_path / "world.standin"
            script_file.write_text(script, encoding="utf-8")
            release["STANDIN_SCRIPT"] = winpath(script_file)
        self.jre = make_jre(self.dir / "jre", "17.0.2", release=release)
        self.runs = 0

    @property
    def directory_8bit(self):
        return winpath(self.dir) + "\\"

    def run(self, args=("/run-redirect",), raw=None, env=None, unix_env=None):
        self.runs += 1
        # The temp folder's name stays ASCII whatever the launcher's folder is called.
        temp = self.tmp / f"temp-{next(RUN_NUMBERS)}"
        temp.mkdir()
        self.jre.clear_records()
        full_env = {**logged_env(temp), "QUILLWORK_LOG": None, **NO_JAVA_HOMES, "MANPATH": None, **(env or {})}
        started = time.monotonic()
        result = self.wine.run(self.exe, list(args), raw=raw, env=full_env, unix_env=unix_env)
        return Run(result, log_lines(read_log(temp)), self.jre.records(), time.monotonic() - started)


class Run:
    def __init__(self, result, log, records, seconds):
        self.result = result
        self.log = log
        self.records = records
        self.seconds = seconds

    @property
    def returncode(self):
        return self.result.returncode

    def message(self):
        """The fatal message on standard error, without the log reference under it."""
        return self.result.stderr.split("\r\n")[0]

    def of(self, kind):
        return [r for r in self.records if r.kind == kind]

    def create(self):
        created = self.of("jvm-create")
        assert len(created) == 1, (self.log, self.records)
        return created[0]

    @property
    def options(self):
        return self.create().options()

    def option(self, prefix):
        found = [o for o in self.options if o.startswith(prefix)]
        assert len(found) == 1, (prefix, self.options)
        return found[0][len(prefix):]

    def static_calls(self, method):
        return [r for r in self.of("call") if r.get("method") == method and r.get("static") == "1"]

    def main_arguments(self):
        calls = [c for c in self.static_calls("main") if c["class"] == LAUNCHER_CLASS
                 or c["class"] == "com/quillwork/runtime/launcher/WinLauncher"]
        assert len(calls) == 1, self.records
        call = calls[0]
        return [call[f"arg0[{i}]"] for i in range(int(call["arg0.length"]))]

    def assert_clean(self):
        """The run ended normally and the launcher broke no JNI rule on the way."""
        assert self.returncode == 0, (self.result, self.log)
        assert not self.of("jni-violation"), self.of("jni-violation")
        assert "launch done" in self.log
        # Every call into the JVM comes from the thread that created it, and nothing the
        # launcher made is left behind when the VM ends.
        creator = self.create()["thread"]
        assert {r["thread"] for r in self.of("find-class") + self.of("call")} == {creator}
        end = self.of("destroy-end")
        assert len(end) == 1
        assert (end[0]["liveLocalRefs"], end[0]["unreleasedStrings"]) == ("0", "0")


@pytest.fixture
def app(wine, pack, tmp_path):
    def make(**kwargs):
        return App(wine, pack, tmp_path, **kwargs)
    return make


def lower_bin(app_):
    return winpath(app_.jre.root / "bin").lower()


# ---------------------------------------------------------------------------------------
# The option list


def test_plain_run_redirect_gives_the_launcher_properties_and_an_empty_class_path(app):
    a = app()
    path = "C:\\windows\\system32;C:\\windows"
    run = a.run(env={"PATH": path})
    run.assert_clean()
    options = run.options
    semaphore = [o for o in options if o.startswith("-Dravel.semaphoreName=")]
    rest = options[len(semaphore):]
    assert len(semaphore) <= 1 and options[:len(semaphore)] == semaphore
    exe = winpath(a.exe)
    assert rest[:5] == [
        f"-Dravel.moduleName={exe}",
        f"-Dsun.java.command={exe}",
        "-Dravel.tempDir=",
        "-Dravel.unextractedPosition=0",
        f"-Djava.library.path={lower_bin(a)};{path}",
    ]
    assert re.fullmatch(r"-Dravel\.consoleCodepage=cp\d+", rest[5])
    assert rest[6:] == ["-Djava.class.path="]
    create = run.create()
    assert create["version"] == "0x00010002"
    assert create["ignoreUnrecognized"] == "1"
    assert "launching program" in run.log
    assert f"vmoption count {len(options)}" in run.log
    assert f"vmoption 0: {options[0]}" in run.log


def test_a_run_does_not_load_user32_until_it_needs_a_window(app):
    """user32.dll is delay-loaded: a run that shows no window never maps it. Wine's loader
    trace lists the modules every process of the prefix maps, each line headed by its
    process id; the launcher's process is the one that maps the packed executable."""
    a = app()
    run = a.run(unix_env={"WINEDEBUG": "+pid,+loaddll"})
    run.assert_clean()
    loads = re.findall(r'^([0-9a-f]+):[0-9a-f]+:trace:loaddll:\S+ Loaded L"([^"]+)"', run.result.stderr, re.M)
    launcher_pids = {pid for pid, name in loads if name.lower().endswith(a.exe.name.lower())}
    assert len(launcher_pids) == 1, loads
    loaded = [name.lower().replace("\\\\", "\\") for pid, name in loads if pid in launcher_pids]
    assert any(name.endswith("\\jvm.dll") for name in loaded), loaded
    assert any(name.endswith("\\advapi32.dll") for name in loaded), loaded
    assert not any(name.endswith("\\user32.dll") for name in loaded), loaded


def test_manpath_leaves_out_the_console_code_page_and_run_adds_no_redirection(app):
    a = app()
    run = a.run(args=["/run"], env={"MANPATH": "anything"})
    run.assert_clean()
    assert not [o for o in run.options if o.startswith("-Dravel.consoleCodepage=")]
    assert run.options[-2:] == ["-Djava.class.path=", "-Dquillwork.noRedir=true"]
    assert "-Dravel.isService=true" not in run.options
    assert "-Xrs" not in run.options


def test_a_long_path_reaches_java_library_path_whole(app):
    a = app()
    path = ";".join(f"C:\\tools\\folder-number-{i:05d}" for i in range(700)) + ";C:\\windows"
    assert len(path) > 12000
    run = a.run(env={"PATH": path})
    run.assert_clean()
    assert run.option("-Djava.library.path=") == f"{lower_bin(a)};{path}"


def test_class_path_prepend_extraction_archives_and_directory_entries(app):
    a = app(settings={121: "S0lib", 166: "1"}, files={"inc.jar": b"PK-inc"})
    (a.dir / "lib").mkdir()
    (a.dir / "lib" / "x.jar").write_bytes(b"x")
    (a.dir / "lib" / "y.zip").write_bytes(b"y")
    (a.dir / "lib" / "notes.txt").write_bytes(b"n")
    (a.dir / "app.vmoptions").write_text("-classpath/p a.jar\n")
    run = a.run()
    run.assert_clean()
    extracted = run.option("-Dravel.tempDir=")
    assert extracted
    assert run.option("-Djava.class.path=") == ";".join(
        ["a.jar", extracted + "\\inc.jar", a.directory_8bit + "lib\\x.jar", a.directory_8bit + "lib\\y.zip"])
    assert int(run.option("-Dravel.unextractedPosition=")) > 0


def test_module_mode_puts_the_main_module_on_the_module_path(app):
    a = app(settings={133: "1", 122: "app/com.example.Main", 132: "S0mods"})
    (a.dir / "mods").mkdir()
    run = a.run()
    run.assert_clean()
    assert run.options[-4:] == [
        "-Djava.class.path=",
        f"--module-path={a.directory_8bit}mods",
        "--add-opens=app/com.example=com.ravel.runtime",
        "--add-modules=app,com.ravel.runtime",
    ]
    assert run.main_arguments()[1] == "/app/com.example.Main"


def test_module_options_given_as_two_elements_are_joined(app):
    a = app(settings={123: "--add-exports java.base/sun.nio=ALL-UNNAMED -Dafter=1"})
    run = a.run()
    run.assert_clean()
    assert "--add-exports=java.base/sun.nio=ALL-UNNAMED" in run.options
    assert "--add-exports" not in run.options
    assert run.options.index("-Dafter=1") == run.options.index("--add-exports=java.base/sun.nio=ALL-UNNAMED") + 1


def test_argument_files_are_expanded_by_the_runtime_and_joined_again(app):
    a = app()
    args_file = a.dir / "java.args"
    args_file.write_text('--add-opens java.base/java.lang=ALL-UNNAMED\n-Dfrom.file="a b"\n')
    a2 = app(settings={123: f"@{winpath(args_file)} -Dafter=1"}, folder="app2")
    run = a2.run()
    run.assert_clean()
    assert not [o for o in run.options if o.startswith("@")]
    start = run.options.index("--add-opens=java.base/java.lang=ALL-UNNAMED")
    assert run.options[start:start + 3] == ["--add-opens=java.base/java.lang=ALL-UNNAMED", "-Dfrom.file=a b",
                                            "-Dafter=1"]


# ---------------------------------------------------------------------------------------
# The JVM thread


STACK_SIZE_PARAM_IS_A_RESERVATION = 0x10000


# Wine gives every thread at least 1 MB of stack, so below that only the request (which the
# stand-in notes from the launcher's CreateThread call) shows the size; above it the
# measured reservation does too.
@pytest.mark.parametrize("options,reservation", [
    ("-Xss512k", 524288),
    ("-Xss4m -Xss1m", 1048576),
    ("-Xss1000", 65536),
    ("-Xss1m -Xss4m", 4194304),
])
def test_the_jvm_is_created_on_a_thread_with_the_asked_stack(app, options, reservation):
    a = app(settings={123: options})
    run = a.run()
    run.assert_clean()
    create = run.create()
    assert create["onMainThread"] == "0"
    assert int(create["stackRequest"]) == reservation
    assert int(create["stackRequestFlags"], 16) == STACK_SIZE_PARAM_IS_A_RESERVATION
    assert int(create["stackReservation"]) == max(reservation, 1048576)
    assert f"used stack size {reservation}" in run.log


def test_without_xss_the_thread_gets_the_default_stack(app):
    run = app().run()
    run.assert_clean()
    assert "used stack size 0" in run.log
    create = run.create()
    assert create["onMainThread"] == "0"
    assert int(create["stackRequest"]) == 0


# ---------------------------------------------------------------------------------------
# Service mode (the supervised child: restart marker last)


def test_service_child_adds_xrs_once_and_the_service_property(app):
    a = app(settings={123: "-Xrs"})
    run = a.run(args=["MySvc", "__qwk_restart"])
    run.assert_clean()
    assert run.options.count("-Xrs") == 1
    assert "-Dravel.isService=true" in run.options
    assert "service: adding -Xrs" not in run.log
    assert "registering ConsoleCtrlHandler" in run.log
    assert run.main_arguments()[5] == "MySvc"

    b = app(folder="plain")
    run = b.run(args=["MySvc", "__qwk_restart"])
    run.assert_clean()
    assert run.options[-1] == "-Xrs"
    assert "service: adding -Xrs" in run.log


# ---------------------------------------------------------------------------------------
# Required class path entries


def test_missing_required_entry_ends_with_1006(app):
    a = app(settings={121: "A0optional.jar;A1needed.jar"})
    run = a.run()
    assert run.returncode == 1
    assert run.message() == "Class path entry needed.jar not found"
    assert not run.of("jvm-create")
    needed = winpath(a.dir / "needed.jar")
    assert f"ERROR: required class path entry needed.jar not found: looked for {needed}" in run.log


def test_undefined_required_variable_ends_with_1008(app):
    a = app(settings={121: "E1APP_LIB"})
    run = a.run(env={"APP_LIB": None})
    assert run.returncode == 1
    assert run.message() == "Environment variable APP_LIB not defined"
    assert not run.of("jvm-create")

    run = a.run(env={"APP_LIB": "C:\\libs\\a.jar;C:\\libs\\b.jar"})
    run.assert_clean()
    assert run.option("-Djava.class.path=") == "C:\\libs\\a.jar;C:\\libs\\b.jar"


# ---------------------------------------------------------------------------------------
# main and its arguments


def test_run_passes_leading_arguments_launcher_path_and_command_line(app):
    a = app()
    run = a.run(args=["/run", "a", "b"])
    run.assert_clean()
    assert run.main_arguments() == ["false", "com.example.App", "", "", "false", winpath(a.exe), "a", "b"]
    assert run.log.index("calling main") < run.log.index("main returned") < run.log.index("dest JVM")
    assert "param count: 8" in run.log


def test_leading_arguments_from_the_configuration(app):
    a = app(settings={107: "1", 102: "1", 103: "lib", 104: "1", 105: "${installer:sys.dir}\\x", 106: "1"})
    run = a.run(args=["/run"])
    run.assert_clean()
    assert run.main_arguments()[:5] == ["true", "com.example.App", winpath(a.dir / "lib"),
                                        "${installer:sys.dir}\\x", "true"]


def test_configured_arguments_come_after_the_launcher_path(app):
    a = app(settings={124: '-x "a b"'})
    run = a.run(args=["/run", "c"])
    run.assert_clean()
    assert run.main_arguments()[5:] == [winpath(a.exe), "-x", "a b", "c"]


@pytest.mark.parametrize("enabled", [True, False])
def test_j_arguments_with_setting_125(app, enabled):
    a = app(settings={125: "1" if enabled else "0"})
    run = a.run(args=["/run", "-J-Xmx1g", "x"])
    run.assert_clean()
    if enabled:
        assert "-Xmx1g" in run.options
        assert run.main_arguments()[6:] == ["x"]
    else:
        assert "-Xmx1g" not in run.options
        assert run.main_arguments()[6:] == ["-J-Xmx1g", "x"]


def test_locale_argument_never_reaches_main(app):
    a = app()
    run = a.run(args=["/run", "-Dsun.locale.formatasdefault=true", "x"])
    run.assert_clean()
    assert "-Dsun.locale.formatasdefault=true" in run.options
    assert run.main_arguments()[6:] == ["x"]


def test_non_ascii_arguments_arrive_exact(app):
    a = app()
    words = ["Grüße", "日本語", "😀", "ε=mc²"]
    run = a.run(args=["/run", *words])
    run.assert_clean()
    assert run.main_arguments()[6:] == words


def test_module_name_property_is_the_exact_wide_path(app):
    a = app(folder="Ünïcödé 日本")
    run = a.run()
    run.assert_clean()
    exe = winpath(a.exe)
    narrow = run.option("-Dravel.moduleName=")
    # The 8-bit option cannot hold the Japanese characters; the property set afterwards can.
    assert narrow != exe
    sets = [r for r in run.of("property-set") if r["name"] == "ravel.moduleName"]
    assert len(sets) == 1
    assert sets[0]["value"] == exe
    assert sets[0]["previous"] == narrow
    assert f"setting ravel.moduleName to {exe}" in run.log
    assert run.records.index(sets[0]) < run.records.index(run.static_calls("main")[0])


def test_an_exception_in_main_ends_with_1_and_a_stack_trace(app):
    script = (f"class {LAUNCHER_CLASS}\n"
              "static main ([Ljava/lang/String;)V\n"
              "throw java/lang/IllegalStateException broken in main\n")
    a = app(script=script)
    run = a.run()
    assert run.returncode == 1
    assert "java.lang.IllegalStateException: broken in main" in run.result.stderr
    assert "ERROR: an exception occurred" in run.log
    assert "ERROR: could not call main" in run.log
    assert "dest JVM" not in run.log
    assert not run.of("destroy-start")


def test_a_thread_outliving_main_keeps_the_process_until_it_ends(app):
    script = (f"class {LAUNCHER_CLASS}\n"
              "static main ([Ljava/lang/String;)V\n"
              "thread 3000\n"
              "note main ends\n")
    a = app(script=script)
    run = a.run()
    run.assert_clean()
    kinds = [r.kind for r in run.records]
    assert kinds.index("thread-start") < kinds.index("note") < kinds.index("destroy-start")
    assert kinds.index("destroy-start") < kinds.index("thread-done") < kinds.index("destroy-end")
    assert run.seconds >= 3
    assert run.log.index("dest JVM") < run.log.index("launch done")


# ---------------------------------------------------------------------------------------
# Failures of the JVM side


def test_a_jvm_that_cannot_be_created_ends_with_1(app):
    a = app(settings={123: "-Dstandin.createResult=-1"})
    run = a.run()
    assert run.returncode == 1
    assert "ERROR: could not initialize JVM" in run.log
    assert "main class: com/ravel/runtime/WinLauncher" not in run.log


def test_missing_launcher_class_and_main_method(app):
    run = app(script=f"remove-class {LAUNCHER_CLASS}\n").run()
    assert run.returncode == 1
    assert run.message() == "Launcher class missing"
    assert "ERROR: could not find main class" in run.log

    script = f"class {LAUNCHER_CLASS}\nremove-method main ([Ljava/lang/String;)V\n"
    run = app(script=script, folder="nomain").run()
    assert run.returncode == 1
    assert run.message() == "Launcher main method missing"
    assert "ERROR: could not find main method" in run.log



# ---------------------------------------------------------------------------------------
# Before main: splash texts, the quillwork runtime and its helper library


def test_splash_settings_are_handed_over_before_main(app):
    a = app(settings={108: "1", 163: "1", 10111: "Loading", 10109: "10", 10110: "20", 10114: "v1.0",
                      10113: "30", 10115: "40", 10118: "", 10116: "-5", 10117: "0", 10121: "(c)",
                      10120: "7", 10122: "8"})
    run = a.run()
    run.assert_clean()
    calls = run.static_calls("initAwtSplashConfig")
    assert len(calls) == 1
    call = calls[0]
    assert call["class"] == LAUNCHER_CLASS
    assert [call[f"arg{i}"] for i in range(14)] == ["true", "true", "Loading", "10", "20", "v1.0", "30", "40",
                                                    "", "-5", "0", "(c)", "7", "8"]
    assert run.records.index(call) < run.records.index(run.static_calls("main")[0])


def test_splash_texts_outside_ascii_reach_java_intact(app):
    # The settings hold the texts in the ANSI code page; NewStringUTF reads modified UTF-8.
    a = app(settings={108: "1", 10111: "Chargement élève", 10114: "Größe © 2024", 10118: "plain"})
    run = a.run()
    run.assert_clean()  # among others: no NewStringUTF with invalid modified UTF-8
    [call] = run.static_calls("initAwtSplashConfig")
    assert [call[f"arg{i}"] for i in (2, 5, 8, 11)] == ["Chargement élève", "Größe © 2024", "plain", ""]


def test_quillwork_runtime_archive_launcher_class_and_missing_helper(app):
    a = app(settings={2001: "i", 10003: "root"})
    run = a.run()
    run.assert_clean()
    assert "-Dravel.isQuillwork=true" in run.options
    assert run.option("-Djava.class.path=") == a.directory_8bit + "root\\.quillwork\\qwkruntime.jar"
    assert run.static_calls("main")[0]["class"] == "com/quillwork/runtime/launcher/WinLauncher"
    helper = winpath(a.dir / "root" / ".quillwork" / "qwkinst.dll")
    assert "load helper dll" in run.log
    assert f"helper dll 0000000000000000 {helper}" in run.log
    assert not run.static_calls("initFromLauncher")
