"""The Java-side runtime run by the `java` command, with the argument array the native
launcher would pass: five leading values, the launcher's first argument, then the
application's arguments."""
import subprocess
import time

import pytest

from conftest import JAVA_ENV, JDK

LAUNCHER = "com.ravel.runtime.WinLauncher"
QUILLWORK_LAUNCHER = "com.quillwork.runtime.launcher.WinLauncher"


def class_path(built, *extra):
    return ":".join(str(p) for p in (built.runtime, built.probe, *extra))


def leading(main_class, err="", out="", append=False, windowed=False):
    return ["true" if windowed else "false", main_class, str(err), str(out), "true" if append else "false"]


# ---------------------------------------------------------------------------------------
# Arguments


@pytest.mark.parametrize("launcher_class", [LAUNCHER, QUILLWORK_LAUNCHER])
def test_application_gets_the_arguments_after_the_launchers_first(java, built, launcher_class):
    words = ["a", "b c", "", "Grüße", "日本語", "😀", "-Dnot.an.option=1"]
    run = java("-cp", class_path(built), launcher_class, *leading("probe.ArgsApp"), "/opt/app/app.exe", *words)
    assert run.returncode == 0, run.stderr
    probe = run.probe()
    assert probe["args"] == words
    assert probe["windowed"] is False
    # Outside a service the launcher's first argument is not the service name.
    assert probe["properties"]["ravel.serviceName"] is None


def test_windowed_flag_and_no_application_arguments(java, built):
    run = java("-cp", class_path(built), LAUNCHER, *leading("probe.ArgsApp", windowed=True), "/opt/app/app.exe")
    assert run.returncode == 0, run.stderr
    assert run.probe()["args"] == []
    assert run.probe()["windowed"] is True

    # Without even the launcher's first argument the application still starts.
    run = java("-cp", class_path(built), LAUNCHER, *leading("probe.ArgsApp"))
    assert run.returncode == 0, run.stderr
    assert run.probe()["args"] == []


@pytest.mark.parametrize("args,expected", [
    (["false", "probe.ArgsApp", "", ""], "at least 5"),
    (["false", "", "", "", "false"], "no main class"),
    (["false", "/", "", "", "false"], "no main class"),
])
def test_an_array_the_launcher_cannot_have_made_is_refused(java, built, args, expected):
    run = java("-cp", class_path(built), LAUNCHER, *args)
    assert run.returncode == 1
    assert "IllegalArgumentException" in run.stderr and expected in run.stderr
    assert "PROBE" not in run.stdout


def test_missing_application_class_fails(java, built):
    run = java("-cp", class_path(built), LAUNCHER, *leading("probe.NoSuchApp"), "x")
    assert run.returncode == 1
    assert "ClassNotFoundException: probe.NoSuchApp" in run.stderr


def test_exception_from_the_applications_main_is_its_own(java, built):
    run = java("-cp", class_path(built), LAUNCHER, *leading("probe.ThrowApp"), "x")
    assert run.returncode == 1
    assert "about to throw" in run.stdout
    # Rethrown as thrown, not wrapped in the reflection's InvocationTargetException.
    assert 'Exception in thread "main" java.lang.IllegalStateException: broken in main' in run.stderr
    assert "InvocationTargetException" not in run.stderr
    assert "at probe.ThrowApp.fail" in run.stderr


def test_a_class_that_is_not_public_runs(java, built):
    run = java("-cp", class_path(built), LAUNCHER, *leading("probe.HiddenApp"), "x", "1", "2")
    assert run.returncode == 0, run.stderr
    assert "hidden main ran with 2" in run.stdout


def test_runs_on_the_java_8_class_format(built, tmp_path):
    """The runtime's classes must load on Java 8; module-info is the only newer class."""
    import zipfile
    for jar in (built.runtime, built.quillwork):
        with zipfile.ZipFile(jar) as archive:
            versions = {name: int.from_bytes(archive.read(name)[6:8], "big")
                        for name in archive.namelist() if name.endswith(".class")}
        assert versions.pop("module-info.class") == 53
        assert versions and set(versions.values()) == {52}, versions


# ---------------------------------------------------------------------------------------
# Module mode: "/module/class" or "/module"


def module_run(java, built, runtime, runtime_module, main, *args, add_opens=True):
    options = ["--module-path", f"{runtime}:{built.mods}", "--add-modules", f"app,{runtime_module}"]
    if add_opens:
        options += ["--add-opens", f"app/com.example={runtime_module}"]
    return java(*options, "-m", f"{runtime_module}/{LAUNCHER}", *leading(main), "/opt/app/app.exe", *args)


@pytest.mark.parametrize("main", ["/app/com.example.Main", "/app"])
def test_module_mode_runs_the_main_class_inside_its_module(java, built, main):
    run = module_run(java, built, built.runtime, "com.ravel.runtime", main, "a", "b")
    assert run.returncode == 0, run.stderr
    assert run.stdout.splitlines() == ["MODULE app ARGS a b"]


def test_module_mode_with_the_quillwork_module(java, built):
    run = module_run(java, built, built.quillwork, "com.quillwork.runtime", "/app/com.example.Main", "q")
    assert run.returncode == 0, run.stderr
    assert run.stdout.splitlines() == ["MODULE app ARGS q"]


def test_module_mode_failures_name_the_module(java, built):
    run = module_run(java, built, built.runtime, "com.ravel.runtime", "/nosuch/com.example.Main")
    assert run.returncode == 1
    assert "module nosuch is not in the boot layer" in run.stderr

    run = module_run(java, built, built.runtime, "com.ravel.runtime", "/app/com.example.Missing")
    assert run.returncode == 1
    assert "com.example.Missing is not in module app" in run.stderr

    # The application module exports nothing: without the launcher's --add-opens the
    # runtime may not call its main.
    run = module_run(java, built, built.runtime, "com.ravel.runtime", "/app/com.example.Main", add_opens=False)
    assert run.returncode == 1
    assert "IllegalAccessException" in run.stderr


# ---------------------------------------------------------------------------------------
# Redirection of standard error and output


def test_both_streams_go_to_their_files_with_the_last_unended_text(java, built, tmp_path):
    err, out = tmp_path / "logs" / "err.log", tmp_path / "logs" / "deeper" / "out.log"
    run = java("-cp", class_path(built), LAUNCHER, *leading("probe.OutputApp", err, out), "x")
    assert run.returncode == 0, run.stderr
    assert run.stdout == "" and run.stderr == ""
    assert out.read_text() == "out line\nout tail"
    assert err.read_text() == "err line\nerr tail"


def test_one_stream_alone_and_the_append_flag(java, built, tmp_path):
    out = tmp_path / "out.log"
    out.write_text("earlier\n")
    run = java("-cp", class_path(built), LAUNCHER, *leading("probe.OutputApp", "", out, append=True), "x")
    assert run.returncode == 0, run.stderr
    assert out.read_text() == "earlier\nout line\nout tail"
    assert "err line" in run.stderr

    run = java("-cp", class_path(built), LAUNCHER, *leading("probe.OutputApp", "", out, append=False), "x")
    assert out.read_text() == "out line\nout tail"


def test_no_redirection_when_the_property_is_set(java, built, tmp_path):
    err, out = tmp_path / "err.log", tmp_path / "out.log"
    run = java("-Dquillwork.noRedir=true", "-cp", class_path(built), LAUNCHER,
               *leading("probe.OutputApp", err, out), "x")
    assert run.returncode == 0, run.stderr
    assert run.stdout == "out line\nout tail"
    assert run.stderr == "err line\nerr tail"
    assert not err.exists() and not out.exists()


def test_unusable_paths_leave_the_stream_where_it_was(java, built, tmp_path):
    blocker = tmp_path / "file"
    blocker.write_text("not a folder")
    out = "${installer:sys.dir}/out.log"
    err = blocker / "err.log"
    run = java("-cp", class_path(built), LAUNCHER, *leading("probe.OutputApp", err, out), "x")
    assert run.returncode == 0, run.stderr
    assert run.stdout == "out line\nout tail"
    assert "err line" in run.stderr
    assert "unresolved path ${installer:sys.dir}/out.log" in run.stderr
    assert "ravel: output not redirected" in run.stderr


# ---------------------------------------------------------------------------------------
# Service mode: the stop line on standard input


def start_service(built, tmp_path, service=True):
    marker = tmp_path / "hook.txt"
    command = [str(JDK / "bin" / "java"), "-Xrs", "-cp", class_path(built)]
    if service:
        command.append("-Dravel.isService=true")
    command += [LAUNCHER, *leading("probe.ServiceApp"), "My Service", str(marker)]
    process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               env=JAVA_ENV)
    assert process.stdout.readline() == b"starting\n"
    first = process.stdout.readline().decode()
    return process, marker, first


def test_stop_line_ends_the_service_through_its_shutdown_hooks(built, tmp_path):
    process, marker, first = start_service(built, tmp_path)
    try:
        assert first == "serving My Service\n"
        time.sleep(0.3)
        assert process.poll() is None
        process.stdin.write(b"0\n")
        process.stdin.close()
        assert process.wait(timeout=30) == 0
        assert marker.read_text() == "hook ran"
    finally:
        process.kill()


def test_other_lines_are_ignored_and_end_of_input_also_stops(built, tmp_path):
    process, marker, _ = start_service(built, tmp_path)
    try:
        process.stdin.write(b"hello\n\n12x\n")
        process.stdin.flush()
        time.sleep(1.0)
        assert process.poll() is None and not marker.exists()
        process.stdin.close()
        assert process.wait(timeout=30) == 0
        assert marker.read_text() == "hook ran"
    finally:
        process.kill()


def test_outside_a_service_standard_input_belongs_to_the_application(built, tmp_path):
    process, marker, first = start_service(built, tmp_path, service=False)
    try:
        assert first == "serving null\n"
        process.stdin.write(b"0\n")
        process.stdin.close()
        time.sleep(1.0)
        assert process.poll() is None and not marker.exists()
    finally:
        process.kill()
        process.wait()
