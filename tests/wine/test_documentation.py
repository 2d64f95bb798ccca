"""What the documentation promises, against the real 64-bit launcher packed from TOML as a user
packs it: the default texts the packer writes for a configuration without [messages], as the
user sees them for each usual failure, and the example configurations of the reference
(docs/examples/*.toml), each packed and run as its kind of application is run.

The expectations are the sentences the reference documents, so a text that loses the
versions, the bitness or the places searched, or an example that no longer packs or runs,
fails here."""
import shutil
import subprocess
from pathlib import Path

import pefile
import pytest

from conftest import (DIST, NO_JAVA_HOMES, ROOT, log_lines, logged_env, read_log, temp_env, winpath)
from runtimes import Do, JavaWorld, make_jre
from test_messages import run_bytes

EXAMPLES = ROOT / "docs" / "examples"
CONSOLE = 0


def pack_toml(config: Path, exe: Path, launcher="launcher64.exe"):
    completed = subprocess.run([str(DIST / "packer"), str(DIST / launcher), str(config), str(exe)],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    assert completed.returncode == 0, completed.stderr.decode()
    return exe


def app_with(tmp_path, toml: str, files=()):
    """A launcher packed from `toml` (no [messages]) into tmp_path/app, with empty `files`
    (relative Windows paths) laid out beside it."""
    app = tmp_path / "app"
    app.mkdir()
    for name in files:
        path = app / Path(*name.split("\\"))
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(b"")
    config = app / "app.toml"
    config.write_text(toml, encoding="utf-8")
    return pack_toml(config, app / "app.exe")


def shown(wine, exe, tmp_path, env=None, unix_env=None):
    """(exit code, text on standard error in the ANSI code page, standard output)."""
    temp = tmp_path / "temp"
    temp.mkdir(exist_ok=True)
    result = run_bytes(wine, exe, ["/run"], {**temp_env(temp), "RAVEL_LOG": None, "QUILLWORK_LOG": None,
                                           **NO_JAVA_HOMES, "JAVA_HOME": None, **(env or {})}, unix_env=unix_env)
    return result.returncode, result.stderr.decode("cp1252"), result.stdout.decode("cp1252")


BASE = """
[application]
main_class = "com.example.Main"
[java]
min_version = "11"
search_sequence = ["Bjre", "EJAVA_HOME"]
[classpath]
entries = ['A1lib\\ravel-runtime.jar', 'A1lib\\app.jar']
"""
JARS = ("lib\\ravel-runtime.jar", "lib\\app.jar")


# ---------------------------------------------------------------------------------------
# Default texts, as shown


def test_no_runtime_names_versions_bitness_places_and_what_to_do(wine, tmp_path):
    exe = app_with(tmp_path, BASE, JARS)
    code, text, out = shown(wine, exe, tmp_path)
    assert (code, out) == (1, "")
    assert text.startswith("No suitable Java runtime was found. This application needs a 64-bit Java runtime of "
                           "version 11 or later.\r\n\r\n"), text
    assert ("The launcher looked in the folder jre in the application's folder, the folder named by the environment "
            "variable JAVA_HOME and the folders named by RAVEL_JAVA_HOME and QUILLWORK_JAVA_HOME.") in text
    assert "set the environment variable RAVEL_JAVA_HOME" in text and "RAVEL_LOG to yes" in text


def test_runtime_of_the_wrong_bitness_is_named_with_the_bitness_needed(wine, tmp_path):
    exe = app_with(tmp_path, BASE, JARS)
    # A 64-bit java.exe that answers the version check, but only a 32-bit jvm.dll.
    make_jre(exe.parent / "jre", "17.0.2", jvm=(), broken_jvm=("server",))
    code, text, _ = shown(wine, exe, tmp_path)
    assert code == 1
    assert text.startswith("The Java runtime in jre cannot be loaded.\r\n\r\nThis launcher is a 64-bit program and "
                           "can load only a 64-bit Java runtime; the one found may be a 32-bit runtime"), text
    assert "Install a 64-bit Java runtime of version 11 or later" in text


def test_runtime_named_by_a_variable_that_cannot_load_names_the_variable(wine, tmp_path):
    exe = app_with(tmp_path, BASE, JARS)
    broken = make_jre(tmp_path / "other", "17.0.2", jvm=(), broken_jvm=("server",))
    code, text, _ = shown(wine, exe, tmp_path, env={"JAVA_HOME": winpath(broken.root)})
    assert code == 1
    assert text.startswith("The Java runtime named by the environment variable JAVA_HOME cannot be loaded."), text


def test_missing_jar_is_named(wine, tmp_path):
    exe = app_with(tmp_path, BASE, JARS[:1])
    make_jre(exe.parent / "jre", "17.0.2")
    code, text, _ = shown(wine, exe, tmp_path)
    assert code == 1
    assert text.startswith("A file or folder the application needs on its class path is missing: lib\\app.jar\r\n"), \
        text


def test_missing_launcher_class_names_it_its_archive_and_the_main_class(wine, tmp_path):
    exe = app_with(tmp_path, BASE, JARS)
    jre = make_jre(exe.parent / "jre", "17.0.2")
    jre.use_world(JavaWorld().remove_class("com/ravel/runtime/WinLauncher"))
    code, text, _ = shown(wine, exe, tmp_path)
    assert code == 1
    assert text == ("The application cannot start: the class com.ravel.runtime.WinLauncher was not found, which "
                    "starts the application's main class com.example.Main. It is in ravel-runtime.jar, which must "
                    "be on the class path. Reinstall the application.\r\n")


def test_missing_main_method_names_the_launcher_class(wine, tmp_path):
    exe = app_with(tmp_path, BASE, JARS)
    jre = make_jre(exe.parent / "jre", "17.0.2")
    jre.use_world(JavaWorld().cls("com/ravel/runtime/WinLauncher").remove_method("main", "([Ljava/lang/String;)V"))
    code, text, _ = shown(wine, exe, tmp_path)
    assert code == 1
    assert text.startswith("The application cannot start: the class com.ravel.runtime.WinLauncher has no method "
                           "main(String[])"), text


def test_a_jvm_that_refuses_an_option_shows_its_own_text_and_no_log_line(wine, tmp_path):
    # Documented: no launcher message and no "Log:" line, although the log is on.
    exe = app_with(tmp_path, BASE + '[jvm]\noptions = "-Xmx12q"\n', JARS)
    make_jre(exe.parent / "jre", "17.0.2")
    code, text, out = shown(wine, exe, tmp_path, env={"RAVEL_LOG": "yes"})
    assert code == 1
    assert "-Xmx12q" in text
    assert "Log:" not in text + out
    assert "could not initialize JVM" in "\n".join(log_lines(read_log(tmp_path / "temp")))


def test_german_users_read_the_german_default_and_a_configured_text_wins(wine, tmp_path):
    exe = app_with(tmp_path, BASE + '[messages.de_AT]\nno_runtime_found = "Nichts da ({0})"\n', JARS)
    german = {"LC_ALL": "de_DE.UTF-8", "LANG": "de_DE.UTF-8"}
    austrian = {"LC_ALL": "de_AT.UTF-8", "LANG": "de_AT.UTF-8"}
    try:
        wine.kill_server()
        code, text, _ = shown(wine, exe, tmp_path, unix_env=german)
        assert code == 1
        assert text.startswith("Es wurde keine passende Java-Laufzeitumgebung gefunden. Diese Anwendung braucht "
                               "eine 64-Bit-Java-Laufzeitumgebung der Version 11 oder neuer."), text
        wine.kill_server()
        assert shown(wine, exe, tmp_path, unix_env=austrian)[1] == "Nichts da (64)\r\n"
    finally:
        wine.kill_server()


# ---------------------------------------------------------------------------------------
# The reference's examples, packed and run


def deploy_example(tmp_path, name, jars, exe_name):
    app = tmp_path / name
    app.mkdir()
    for jar in jars:
        path = app / Path(*jar.split("\\"))
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(b"PK\x05\x06" + bytes(18))
    config = app / f"{name}.toml"
    shutil.copyfile(EXAMPLES / f"{name}.toml", config)
    exe = pack_toml(config, app / exe_name)
    jre = make_jre(app / "jre", "17.0.2")
    return exe, jre


def run_logged(wine, exe, tmp_path, args=("/run",)):
    temp = tmp_path / f"temp-{exe.stem}"
    temp.mkdir()
    result = wine.run(exe, list(args), env={**logged_env(temp), "QUILLWORK_LOG": None, **NO_JAVA_HOMES,
                                            "JAVA_HOME": None})
    return result, log_lines(read_log(temp))


def main_call(jre):
    [call] = jre.transcript().calls(method="main")
    return call


def option_value(jre, prefix):
    [value] = [o[len(prefix):] for o in jre.transcript().options() if o.startswith(prefix)]
    return value


def test_every_example_is_in_the_reference():
    reference = (ROOT / "docs" / "configuration.md").read_text(encoding="utf-8")
    examples = sorted(EXAMPLES.glob("*.toml"))
    assert [p.name for p in examples] == ["console.toml", "gui.toml", "module.toml", "service.toml"]
    for path in examples:
        assert f"### {path.name}\n\n```toml\n{path.read_text(encoding='utf-8')}```\n" in reference


def inspect(exe: Path, *options):
    completed = subprocess.run([str(DIST / "packer"), "inspect", str(exe), *options], stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE)
    assert completed.returncode == 0, completed.stderr.decode()
    assert completed.stderr == b""
    return completed.stdout.decode("utf-8")


def test_inspected_examples_pack_back_and_leave_the_default_texts_to_the_packer(tmp_path):
    for name, launcher in (("console", "launcher64.exe"), ("console", "launcher32.exe"), ("gui", "launcher64.exe"),
                           ("module", "launcher64.exe"), ("service", "launcher64.exe")):
        exe = pack_toml(EXAMPLES / f"{name}.toml", tmp_path / f"{name}-{launcher}", launcher)
        printed = inspect(exe)
        for composed in ("No suitable Java runtime", "Es wurde keine passende", "RAVEL_LOG"):
            assert composed not in printed, (name, launcher, printed)
        back = tmp_path / f"{name}-{launcher}.toml"
        back.write_text(printed, encoding="utf-8")
        again = pack_toml(back, tmp_path / f"again-{name}-{launcher}", launcher)
        assert again.read_bytes() == exe.read_bytes(), (name, launcher)
    assert 'error_title = "Example Editor"\n' in inspect(tmp_path / "gui-launcher64.exe")

    # An edited copy of the printed configuration gets texts for its new settings.
    edited = (tmp_path / "console-launcher64.exe.toml").read_text(encoding="utf-8")
    assert 'min_version = "11"\n' in edited
    edited_config = tmp_path / "edited.toml"
    edited_config.write_text(edited.replace('min_version = "11"\n', 'min_version = "17"\n'), encoding="utf-8")
    effective = inspect(pack_toml(edited_config, tmp_path / "edited.exe"), "--effective")
    assert ("# default: no_runtime_found = \"No suitable Java runtime was found (or the one on the PATH cannot be "
            "loaded). This application needs a {0}-bit Java runtime of version 17 or later.") in effective, effective
    assert "Java-Laufzeitumgebung der Version 17 oder neuer." in effective
    assert "version 11" not in effective and "Version 11" not in effective


def test_console_example_runs(wine, tmp_path):
    exe, jre = deploy_example(tmp_path, "console", ["lib\\ravel-runtime.jar", "lib\\tool.jar",
                                                    "lib\\plugins\\extra.jar"], "Tool.exe")
    jre.use_world(JavaWorld().main(Do.ret()))
    (exe.parent / "Tool.vmoptions").write_text("-Dfrom.file=yes\n", encoding="ascii")
    result, lines = run_logged(wine, exe, tmp_path, ("/run", "-J-Dfrom.j=yes", "input.txt"))
    assert result.returncode == 0, (result, lines)
    folder = winpath(exe.parent) + "\\"
    arguments = main_call(jre).args[0]
    assert arguments[1] == "com.example.tool.Main"
    assert arguments[6:] == ["--settings", folder + "tool.properties", "input.txt"]
    options = jre.transcript().options()
    assert {"-Xmx256m", "-Dtool.home=" + folder, "-Dfrom.file=yes", "-Dfrom.j=yes"} <= set(options), options
    assert option_value(jre, "-Djava.class.path=").lower().split(";") == [
        (folder + p).lower() for p in ("lib\\ravel-runtime.jar", "lib\\tool.jar", "lib\\plugins\\extra.jar")]


def test_gui_example_runs_windowed_as_a_single_instance_with_the_splash_text(wine, tmp_path):
    exe, jre = deploy_example(tmp_path, "gui", ["lib\\ravel-runtime.jar", "lib\\editor.jar"], "Editor.exe")
    assert pefile.PE(str(exe), fast_load=True).OPTIONAL_HEADER.Subsystem == 2
    (exe.parent / "splash.png").write_bytes(b"\x89PNG\r\n\x1a\n" + bytes(24))
    jre.use_world(JavaWorld().main(Do.ret()))
    # Started as a double-click starts it: no command word.
    result, lines = run_logged(wine, exe, tmp_path, args=())
    assert result.returncode == 0, (result, lines)
    assert "not started by the service control manager: running the default command" in lines
    # The stand-in runtime has no splash-screen library: the image is not shown, and the
    # application starts all the same.
    assert any(line.startswith("no splash screen library") for line in lines), lines
    assert "single instance mode" in lines
    assert main_call(jre).args[0][:2] == ["true", "com.example.editor.Editor"]
    [splash] = jre.transcript().calls(method="initAwtSplashConfig")
    assert splash.args[:5] == [True, False, "Loading the editor...", 20, 180]


def test_module_example_runs_from_the_module_path(wine, tmp_path):
    exe, jre = deploy_example(tmp_path, "module", ["mods\\ravel-runtime.jar", "mods\\com.example.app.jar"],
                              "App.exe")
    jre.use_world(JavaWorld().main(Do.ret()))
    result, lines = run_logged(wine, exe, tmp_path)
    assert result.returncode == 0, (result, lines)
    folder = winpath(exe.parent) + "\\"
    assert main_call(jre).args[0][1] == "/com.example.app/com.example.app.Main"
    assert option_value(jre, "--module-path=").lower().split(";") == [
        (folder + p).lower() for p in ("mods\\ravel-runtime.jar", "mods\\com.example.app.jar")]
    assert option_value(jre, "--add-modules=").split(",")[0] == "com.example.app"


def text_of(result):
    return result.stdout.replace("\r\n", "\n")


def test_service_example_installs_starts_reports_and_stops(wine, keepalive, tmp_path):
    exe, jre = deploy_example(tmp_path, "service", ["lib\\ravel-runtime.jar", "lib\\server.jar"], "Server.exe")
    jre.use_world(JavaWorld().main(Do.print("serving"), Do.read_line(), Do.exit(0)))
    try:
        assert wine.run(exe, ["/install"]).returncode == 0
        status = wine.run(exe, ["/status"])
        assert (status.returncode, text_of(status)) == (3, "Not running.\nAuto-start.\n")
        started = wine.run(exe, ["/start"])
        assert (started.returncode, text_of(started)) == (0, "Starting service 'ExampleServer'.\n"), started
        status = wine.run(exe, ["/status"])
        assert (status.returncode, text_of(status)) == (0, "Running.\nAuto-start.\n")
        assert wine.run(exe, ["/stop"]).returncode == 0
    finally:
        wine.run(exe, ["/stop"])
        wine.run(exe, ["/uninstall"])
    arguments = main_call(jre).args[0]
    # The application's main receives the configured arguments; the service name goes to the
    # Java side as the sixth element, which the runtime keeps for itself.
    assert arguments[5:] == ["ExampleServer", "--port", "8080"]
    assert "-Dravel.isService=true" in jre.transcript().options()
    assert [r["line"] for r in jre.transcript().of("stdin-line")] == ["0\n"]
    assert "serving" in (exe.parent / "server.log").read_text(encoding="utf-8", errors="replace")
