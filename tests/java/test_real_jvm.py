"""The launcher's own JNI code (option assembly, JVM arguments record, the JVM thread's
sequence, main's argument array) hosted natively by the real JVM of this machine, with the
Java-side runtime or a recording launcher class on the other side. These are the checks the
Wine tests make against the stand-in jvm.dll, repeated where a real JVM answers."""
import time

import pytest

LAUNCHER_PATH = "/opt/app/app.exe"


def settings_for(built, main="probe.ArgsApp", class_path=None, more=None):
    settings = {107: "0", 122: main, 121: "A0" + (class_path or f"{built.runtime}:{built.probe}")}
    settings.update(more or {})
    return settings


def recorded(run):
    import json
    found = run.lines("ARGS ")
    assert len(found) == 1, (run.stdout, run.stderr)
    return json.loads(found[0])


def assert_completed(run):
    assert run.returncode == 0, (run.stdout, run.stderr)
    assert run.outcome == "Completed"
    log = run.log
    assert log.index("Creating JVM") < log.index("JVM created") < log.index("calling main")
    assert log.index("calling main") < log.index("main returned") < log.index("dest JVM") < log.index("launch done")


# ---------------------------------------------------------------------------------------
# The argument array, exactly as the launcher class receives it


def test_run_passes_leading_arguments_launcher_path_and_command_line(host, built):
    run = host(settings_for(built, class_path=str(built.recorder)), LAUNCHER_PATH, "a", "b")
    assert_completed(run)
    assert recorded(run) == ["false", "probe.ArgsApp", "", "", "false", LAUNCHER_PATH, "a", "b"]
    assert "param count: 8" in run.log


def test_leading_arguments_configured_arguments_and_filters(host, built):
    settings = settings_for(built, class_path=str(built.recorder), more={
        107: "1", 102: "1", 103: "/var/log/app/err.log", 104: "1", 105: "${installer:sys.dir}/x", 106: "1",
        124: '-x "a b"', 125: "1"})
    run = host(settings, LAUNCHER_PATH, "-J-Xmx64m", "-Dsun.locale.formatasdefault=true", "c")
    assert_completed(run)
    assert recorded(run) == ["true", "probe.ArgsApp", "/var/log/app/err.log", "${installer:sys.dir}/x", "true",
                             LAUNCHER_PATH, "-x", "a b", "c"]
    # The -J argument became a JVM option the real JVM accepted.
    assert "-Xmx64m" in run.options


def test_non_ascii_arguments_arrive_exact(host, built):
    words = ["Grüße", "日本語", "😀", "ε=mc²", "\u00a0\uffff"]
    run = host(settings_for(built, class_path=str(built.recorder)), LAUNCHER_PATH, *words)
    assert_completed(run)
    assert recorded(run)[6:] == words


# ---------------------------------------------------------------------------------------
# Through the real runtime


def test_runtime_hands_the_application_its_arguments_and_the_launcher_properties(host, built):
    launcher = "/opt/Ünïcödé 日本/app.exe"
    run = host(settings_for(built), launcher, "a", "😀 b", extra=[f"launcher {launcher}"])
    assert_completed(run)
    probe = run.probe()
    assert probe["args"] == ["a", "😀 b"]
    properties = probe["properties"]
    # The 8-bit option is replaced by the exact wide path once the JVM runs.
    assert properties["ravel.moduleName"] == launcher
    assert f"setting ravel.moduleName to {launcher}" in run.log
    assert properties["ravel.tempDir"] == "" and properties["ravel.unextractedPosition"] == "0"
    assert properties["ravel.consoleCodepage"] == "cp437"
    assert properties["java.class.path"] == f"{built.runtime}:{built.probe}"
    assert properties["ravel.isService"] is None and properties["quillwork.noRedir"] is None
    # main runs on the thread that created the JVM.
    assert probe["thread"] == "main"


def test_an_exception_from_main_is_the_failure_result(host, built):
    run = host(settings_for(built, main="probe.ThrowApp"), LAUNCHER_PATH)
    assert run.returncode == 1
    assert run.outcome == "MainThrew"
    assert "java.lang.IllegalStateException: broken in main" in run.stderr
    assert "at probe.ThrowApp.fail" in run.stderr
    assert "ERROR: an exception occurred" in run.log
    assert "ERROR: java.lang.IllegalStateException: broken in main" in run.log
    assert "ERROR: could not call main" in run.log
    assert "dest JVM" not in run.log and "launch done" not in run.log


def test_a_non_daemon_thread_keeps_the_jvm_until_it_ends(host, built):
    run = host(settings_for(built, main="probe.ThreadApp"), LAUNCHER_PATH, "1500")
    assert_completed(run)
    assert run.stdout.splitlines() == ["main returned", "thread done"]
    assert run.seconds >= 1.5


def test_missing_launcher_class(host, built):
    run = host(settings_for(built, class_path=str(built.probe)), LAUNCHER_PATH)
    assert run.returncode == 1
    assert run.outcome == "LauncherClassMissing"
    assert "ERROR: could not find main class" in run.log
    assert "calling main" not in run.log


# ---------------------------------------------------------------------------------------
# Module mode with the launcher's module options


@pytest.mark.parametrize("generator,runtime_module,jar_attr,launcher_class", [
    ("e", "com.ravel.runtime", "runtime", "com/ravel/runtime/WinLauncher"),
    ("i", "com.quillwork.runtime", "quillwork", "com/quillwork/runtime/launcher/WinLauncher"),
])
def test_module_mode_on_the_real_module_system(host, built, tmp_path, generator, runtime_module, jar_attr,
                                               launcher_class):
    mods = tmp_path / "mods"
    mods.mkdir()
    (mods / "app.jar").write_bytes((built.mods / "app.jar").read_bytes())
    (mods / "runtime.jar").write_bytes(getattr(built, jar_attr).read_bytes())
    # The quillwork generator adds its runtime archive as a Windows path after a ";"; the
    # ":" ends the real module path entry on Linux and the JVM ignores the one that follows.
    settings = {107: "0", 133: "1", 122: "app/com.example.Main", 132: f"D0{mods}" + (":" if generator == "i" else ""),
                10003: str(tmp_path / "root")}
    run = host(settings, LAUNCHER_PATH, "m1", "m2", extra=[f"generator {generator}"])
    assert_completed(run)
    assert run.stdout.splitlines() == ["MODULE app ARGS m1 m2"]
    assert f"--add-opens=app/com.example={runtime_module}" in run.options
    assert f"--add-modules=app,{runtime_module}" in run.options
    assert f"main class: {launcher_class}" in run.log


# ---------------------------------------------------------------------------------------
# Quillwork runtime calls, splash texts, redirection, service


@pytest.mark.parametrize("helper,calls,natives", [("ok", 1, True), ("fails", 2, False)])
def test_quillwork_helper_initialisation_reaches_the_runtime(host, built, tmp_path, helper, calls, natives):
    # The quillwork runtime archive path the launcher adds is a Windows path; a ":" entry
    # after it carries the real class path on Linux.
    settings = settings_for(built, class_path=f":{built.quillwork}:{built.probe}", more={10003: str(tmp_path)})
    run = host(settings, LAUNCHER_PATH, extra=["generator i", f"helper {helper}"])
    assert_completed(run)
    assert "-Dravel.isQuillwork=true" in run.options
    assert "main class: com/quillwork/runtime/launcher/WinLauncher" in run.log
    probe = run.probe()
    assert (probe["commonInitCalls"], probe["launcherNatives"]) == (calls, natives)


def test_splash_settings_reach_the_runtime_before_main(host, built):
    settings = settings_for(built, more={108: "1", 163: "1", 10111: "Loading", 10109: "10", 10110: "20",
                                      10114: "v1.0", 10113: "30", 10115: "40", 10118: "", 10116: "-5",
                                      10117: "0", 10121: "(c)", 10120: "7", 10122: "8"})
    run = host(settings, LAUNCHER_PATH)
    assert_completed(run)
    assert run.probe()["splash"] == [True, True, "Loading", 10, 20, "v1.0", 30, 40, "", -5, 0, "(c)", 7, 8]
    assert not [line for line in run.log if "splash" in line]


@pytest.mark.parametrize("no_redirect", [False, True])
def test_redirection_paths_and_the_run_switch(host, built, tmp_path, no_redirect):
    err, out = tmp_path / "err.log", tmp_path / "out.log"
    settings = settings_for(built, main="probe.OutputApp", more={102: "1", 103: str(err), 104: "1", 105: str(out)})
    run = host(settings, LAUNCHER_PATH, extra=["noredirect"] if no_redirect else [])
    assert_completed(run)
    if no_redirect:
        assert "-Dquillwork.noRedir=true" in run.options
        assert run.stdout == "out line\nout tail"
        assert not err.exists() and not out.exists()
    else:
        assert run.stdout == ""
        assert (err.read_text(), out.read_text()) == ("err line\nerr tail", "out line\nout tail")


def stop_service(process, marker, *first_lines):
    """Sends the stop line once the application has printed its first lines; returns its
    further output."""
    for line in first_lines:
        assert process.stdout.readline().decode() == line + "\n"
    process.stdin.write(b"0\n")
    process.stdin.close()
    # System.exit(0) ends the process from Java: the host never reports an outcome.
    assert process.wait(timeout=30) == 0
    stdout, stderr = process.stdout.read().decode(), process.stderr.read().decode()
    assert "outcome:" not in stderr and "Exception" not in stderr, stderr
    assert marker.read_text() == "hook ran"
    return stdout


def test_service_child_stops_on_the_shutdown_line(host, built, tmp_path):
    marker = tmp_path / "hook.txt"
    process = host.start(settings_for(built, main="probe.ServiceApp"), "MySvc", str(marker), extra=["service"])
    try:
        assert stop_service(process, marker, "starting", "serving MySvc") == ""
    finally:
        process.kill()


def test_a_stop_while_the_service_starts_is_a_regular_end(host, built, tmp_path):
    """The stop arrives while the application is starting, whose start then fails because
    the shutdown has begun. The launcher must not see that failure: it would end the process
    with 1 before the shutdown hooks are done."""
    marker = tmp_path / "hook.txt"
    process = host.start(settings_for(built, main="probe.ServiceApp"), "MySvc", str(marker), "500", "1500",
                         extra=["service"])
    try:
        assert stop_service(process, marker, "starting") == ""
    finally:
        process.kill()
