"""Service administration against Wine's real Service Control Manager: the console texts
and exit codes of install, uninstall, stop, start and status, the system's reason after a
failure, and what /install configures (display name, account, start type, recovery, event
source), read back from the registry where Wine's manager keeps its services."""
import re
import shutil
import subprocess
import uuid

import pytest

from conftest import DIST, launcher_description, log_lines, logged_env, read_log, winpath
from runtimes import Do, JavaWorld, make_jre


def service_launcher(pack, name, extra=""):
    return pack(f"setting 101 = {name}\nsetting 107 = 0\n" + extra, name="svc.exe")


@pytest.fixture
def name():
    return "RavelTest" + uuid.uuid4().hex[:8]


def lines(result):
    return result.stdout.replace("\r\n", "\n")


def service_config(wine, name):
    """The SCM's record of a service, read from the registry where Wine's SCM keeps it:
    {value name: text}, or an empty dict when the service does not exist."""
    result = wine.command("reg", "query", "HKLM\\System\\CurrentControlSet\\Services\\" + name)
    config = {}
    for line in result.stdout.splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) == 3 and parts[1].startswith("REG_"):
            config[parts[0]] = parts[2]
    return config


AUTO_START, DEMAND_START = "0x2", "0x3"
EVENT_SOURCES = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\"


def assert_failure_with_reason(result, text, code):
    """The described failure `text` first, then one line with the system's reason: its message
    text and the error number in parentheses."""
    out = lines(result)
    assert out.startswith(text), out
    assert re.fullmatch(rf"\S[^\n]* \({code}\)\n", out[len(text):]), out


def test_install_twice_then_uninstall(wine, keepalive, pack, name):
    exe = service_launcher(pack, name)
    first = wine.run(exe, ["/install"])
    assert first.returncode == 0
    assert lines(first) == f"Installed service '{name}'.\n"
    second = wine.run(exe, ["/install"])
    assert second.returncode == 0
    assert lines(second) == f"Service is already stopped.\nInstalled service '{name}'.\n"
    config = service_config(wine, name)
    assert config["Start"] == DEMAND_START
    # The executable alone, quoted, so the SCM starts it without a command word.
    assert config["ImagePath"].startswith('"Z:\\') and config["ImagePath"].endswith('\\svc.exe"')
    assert "DependOnService" not in config
    assert "Description" not in config
    removed = wine.run(exe, ["/uninstall"])
    assert (removed.returncode, lines(removed)) == (0, f"Service is already stopped.\nUninstalled service '{name}'.\n")
    assert wine.run(exe, ["/status"]).returncode == 1


def test_missing_service_fails_every_command_with_the_systems_reason(wine, keepalive, pack, name):
    exe = service_launcher(pack, name)
    # ERROR_SERVICE_DOES_NOT_EXIST each time; Wine words it "Service does not exist.".
    status = wine.run(exe, ["/status"])
    assert status.returncode == 1
    assert_failure_with_reason(status, "Could not get status.\n", 1060)
    stop = wine.run(exe, ["/stop"])
    assert stop.returncode == 1
    assert_failure_with_reason(stop, "Could not stop service.\n", 1060)
    uninstall = wine.run(exe, ["/uninstall"])
    assert uninstall.returncode == 1
    assert_failure_with_reason(uninstall, "Could not delete service.\n", 1060)
    start = wine.run(exe, ["/start"])
    assert start.returncode == 1
    assert_failure_with_reason(start, "Could not start service. Error code: 1060\n", 1060)


def test_start_the_manager_refuses_gives_the_systems_reason(wine, keepalive, pack, name, tmp_path):
    # The installed program is gone, so the manager cannot start the service process; the
    # same configuration packed elsewhere asks for the start.
    exe = pack(f"setting 101 = {name}\nsetting 107 = 0\n", name="svc.exe", directory=tmp_path / "installed")
    assert wine.run(exe, ["/install"]).returncode == 0
    controller = tmp_path / "controller.exe"
    shutil.move(exe, controller)
    start = wine.run(controller, ["/start"])
    assert start.returncode == 1
    assert_failure_with_reason(start, "Could not start service. Error code: 2\n", 2)  # ERROR_FILE_NOT_FOUND
    # The controller is another file than the service's program, so it may not delete it.
    assert wine.run(controller, ["/uninstall"]).returncode == 1
    assert wine.command("sc", "delete", name).returncode == 0


def foreign_line(name, program):
    return f"Service '{name}' belongs to another program, {program}; it is left as it is.\n"


def test_another_programs_service_is_neither_replaced_nor_deleted(wine, keepalive, pack, name, tmp_path):
    """/install and /uninstall act on a name typed on the command line; a service of that name
    that runs another program stays exactly as it was, and the command fails saying so."""
    exe = service_launcher(pack, name)
    other = tmp_path / "other dir" / "tool.exe"
    other.parent.mkdir()
    shutil.copy(DIST / "launcher64.exe", other)
    # Unquoted with spaces, as the manager reads it: the program is the first prefix that is
    # a file, here "...\other dir\tool.exe" and not the arguments after it.
    image = winpath(other) + " -service"
    created = wine.command("sc", "create", name, "binPath=", image)
    assert created.returncode == 0, created
    for command, outcome in (("/install", "Could not create service.\n"),
                             ("/install-auto", "Could not create service.\n"),
                             # Nor is it started after the refused installation.
                             ("/install-and-start", "Could not create service.\n"),
                             ("/uninstall", "Could not delete service.\n")):
        result = wine.run(exe, [command])
        assert (result.returncode, lines(result)) == (1, outcome + foreign_line(name, winpath(other))), command
        assert service_config(wine, name)["ImagePath"] == image, command
    assert wine.command("sc", "delete", name).returncode == 0


def test_own_service_registered_in_another_spelling_is_still_replaced(wine, keepalive, pack, name):
    """The launcher's own path, written unquoted, lower-cased and with doubled separators,
    still names this launcher: it is replaced by /install and deleted by /uninstall."""
    exe = service_launcher(pack, name)
    image = winpath(exe).lower().replace("\\", "\\\\", 1)
    assert wine.command("sc", "create", name, "binPath=", image).returncode == 0
    install = wine.run(exe, ["/install"])
    assert (install.returncode, lines(install)) == (0, f"Service is already stopped.\nInstalled service '{name}'.\n")
    assert service_config(wine, name)["ImagePath"] == f'"{winpath(exe)}"'
    removed = wine.run(exe, ["/uninstall"])
    assert removed.returncode == 0, removed
    assert service_config(wine, name) == {}


def test_status_of_a_stopped_demand_service(wine, keepalive, pack, name):
    exe = service_launcher(pack, name)
    assert wine.run(exe, ["/install"]).returncode == 0
    status = wine.run(exe, ["--status"])
    assert (status.returncode, lines(status)) == (3, "Not running.\n")
    stop = wine.run(exe, ["-stop"])
    assert (stop.returncode, lines(stop)) == (0, "Service is already stopped.\n")
    wine.run(exe, ["/uninstall"])


@pytest.mark.parametrize("kind, word, expected", [
    ("4", "/install", AUTO_START),
    ("0", "/install", DEMAND_START),
    ("0", "/install-auto", AUTO_START),
    ("4", "/install-demand", DEMAND_START),
])
def test_start_type_from_application_kind_or_word(wine, keepalive, pack, name, kind, word, expected):
    exe = pack(f"setting 101 = {name}\nsetting 107 = {kind}\n", name="svc.exe")
    assert wine.run(exe, [word]).returncode == 0
    assert service_config(wine, name)["Start"] == expected
    if expected == AUTO_START:
        status = wine.run(exe, ["/status"])
        assert lines(status) == "Not running.\nAuto-start.\n"
    wine.run(exe, ["/uninstall"])


def test_name_after_the_command_word_overrides_the_setting(wine, keepalive, pack, name):
    exe = service_launcher(pack, "ConfiguredName")
    result = wine.run(exe, ["/install", name])
    assert lines(result) == f"Installed service '{name}'.\n"
    assert service_config(wine, name)
    assert not service_config(wine, "ConfiguredName")
    assert wine.run(exe, ["/uninstall", name]).returncode == 0


def test_dependencies_drop_empty_pieces(wine, keepalive, pack, name):
    exe = service_launcher(pack, name, "setting 149 = Tcpip,,My Dep\n")
    assert wine.run(exe, ["/install"]).returncode == 0
    assert service_config(wine, name)["DependOnService"] == "Tcpip\\0My Dep"
    wine.run(exe, ["/uninstall"])


def test_restart_of_a_stopped_service_reports_both_steps(wine, keepalive, pack, name):
    exe = service_launcher(pack, name)
    wine.run(exe, ["/install"])
    result = wine.run(exe, ["/restart"])
    out = lines(result)
    assert out.startswith("Service is already stopped.\n")
    assert f"Starting service '{name}'.\n" in out
    assert result.returncode == 0
    wine.run(exe, ["/uninstall"])


def test_description_from_message_and_none_when_empty(wine, keepalive, pack, name):
    exe = service_launcher(pack, name, "message 20017 = Runs the demo \u00e9l\u00e8ve\n")
    assert wine.run(exe, ["/install"]).returncode == 0
    assert service_config(wine, name)["Description"] == "Runs the demo \u00e9l\u00e8ve"
    wine.run(exe, ["/uninstall"])
    empty = service_launcher(pack, name, "message 20017 =\n")
    assert wine.run(empty, ["/install"]).returncode == 0
    assert "Description" not in service_config(wine, name)
    wine.run(empty, ["/uninstall"])


# ---------------------------------------------------------------------------------------
# What /install configures


def pack_toml(tmp_path, text, name="svc.exe"):
    """A launcher packed from a TOML configuration, as a user packs one."""
    config = tmp_path / (name + ".toml")
    config.write_text(text, encoding="utf-8")
    out = tmp_path / name
    completed = subprocess.run([str(DIST / "packer"), str(DIST / "launcher64.exe"), str(config), str(out)],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    assert completed.returncode == 0, completed.stderr.decode()
    return out


@pytest.mark.parametrize("account, object_name", [
    (None, "LocalSystem"),
    ("LocalService", "NT AUTHORITY\\LocalService"),
    ("networkservice", "NT AUTHORITY\\NetworkService"),
])
def test_display_name_and_built_in_account(wine, keepalive, pack, name, account, object_name):
    extra = "setting 30105 = Ravel Test Service\n" + (f"setting 30107 = {account}\n" if account else "")
    exe = service_launcher(pack, name, extra)
    result = wine.run(exe, ["/install"])
    assert (result.returncode, lines(result)) == (0, f"Installed service '{name}'.\n")
    config = service_config(wine, name)
    assert config["DisplayName"] == "Ravel Test Service"
    assert config["ObjectName"] == object_name
    wine.run(exe, ["/uninstall"])


def test_display_name_of_a_second_installation_names_it(wine, keepalive, pack, name):
    exe = service_launcher(pack, "ConfiguredName", "setting 30105 = Ravel Test Service\n")
    assert wine.run(exe, ["/install", name]).returncode == 0
    assert service_config(wine, name)["DisplayName"] == f"Ravel Test Service ({name})"
    wine.run(exe, ["/uninstall", name])


def test_without_the_new_keys_the_service_is_installed_as_before(wine, keepalive, pack, name, tmp_path):
    exe = service_launcher(pack, name)
    log = tmp_path / "log"
    log.mkdir()
    result = wine.run(exe, ["/install"], env=logged_env(log))
    assert (result.returncode, lines(result)) == (0, f"Installed service '{name}'.\n")
    config = service_config(wine, name)
    assert (config["DisplayName"], config["ObjectName"], config["Start"]) == (name, "LocalSystem", DEMAND_START)
    logged = log_lines(read_log(log))
    assert not [line for line in logged if "ChangeServiceConfig2W" in line or "failure actions" in line]
    wine.run(exe, ["/uninstall"])


def test_named_account_takes_its_password_from_the_variable_at_install(wine, keepalive, pack, name):
    exe = service_launcher(pack, name, "setting 30107 = .\\ravel\nsetting 30108 = RAVEL_TEST_PASSWORD\n")
    installed = wine.run(exe, ["/install"], env={"RAVEL_TEST_PASSWORD": "s3cret pass"})
    assert (installed.returncode, lines(installed)) == (0, f"Installed service '{name}'.\n")
    assert service_config(wine, name)["ObjectName"] == ".\\ravel"
    # Without the variable nothing is done: the installed service stays as it was.
    refused = wine.run(exe, ["/install"], env={"RAVEL_TEST_PASSWORD": None})
    assert refused.returncode == 1
    assert_failure_with_reason(refused, "Could not create service.\n", 203)  # ERROR_ENVVAR_NOT_FOUND
    assert service_config(wine, name)["ObjectName"] == ".\\ravel"
    assert wine.run(exe, ["/uninstall"]).returncode == 0


def test_named_account_without_a_variable_reads_its_password_from_standard_input(wine, keepalive, pack, name):
    exe = service_launcher(pack, name, "setting 30107 = CORP\\svc-ravel\n")
    installed = wine.run(exe, ["/install"], input="s3cret\r\n")
    # Input that is not a console gets no prompt, so the output is the install's alone.
    assert (installed.returncode, lines(installed)) == (0, f"Installed service '{name}'.\n")
    assert service_config(wine, name)["ObjectName"] == "CORP\\svc-ravel"
    assert wine.run(exe, ["/uninstall"]).returncode == 0
    refused = wine.run(exe, ["/install"], input="")
    assert refused.returncode == 1
    assert_failure_with_reason(refused, "Could not create service.\n", 38)  # ERROR_HANDLE_EOF
    assert not service_config(wine, name)


def test_account_the_packer_would_refuse_installs_nothing(wine, keepalive, pack, name):
    exe = service_launcher(pack, name, "setting 30107 = ravel\n")
    refused = wine.run(exe, ["/install"])
    assert refused.returncode == 1
    assert_failure_with_reason(refused, "Could not create service.\n", 1057)  # ERROR_INVALID_SERVICE_ACCOUNT
    assert not service_config(wine, name)


def test_recovery_and_delayed_start_are_set_or_their_refusal_told(wine, keepalive, name, tmp_path):
    """Wine 8's manager takes SERVICE_CONFIG_FAILURE_ACTIONS without storing it (no
    QueryServiceConfig2W answer, no registry value: the structure itself is checked by the
    unit tests) and refuses the failure-actions flag and delayed start with ERROR_INVALID_LEVEL.
    The service is installed all the same; each refusal is logged and told after the install."""
    exe = pack_toml(tmp_path, f"""
[service]
name = "{name}"
delayed_start = true

[service.recovery]
restarts = 2
restart_delay_seconds = 5
""")
    log = tmp_path / "log"
    log.mkdir()
    result = wine.run(exe, ["/install-auto"], env=logged_env(log))
    assert result.returncode == 0
    out = lines(result).split("\n")
    assert out[0] == f"Installed service '{name}'."
    assert re.fullmatch(r"The system refused the recovery after a reported failure: \S.* \(124\)", out[1]), out
    assert re.fullmatch(r"The system refused the delayed start: \S.* \(124\)", out[2]), out
    assert out[3:] == [""]
    assert service_config(wine, name)["Start"] == AUTO_START
    logged = log_lines(read_log(log))
    assert "failure actions: 2 restarts, 5000 ms apart, count reset after 86400 s" in logged
    assert "service configuration 2 set: recovery actions" in logged
    assert ("the system refused the recovery after a reported failure (ChangeServiceConfig2W level 4, error 124)"
            in logged)
    assert "the system refused the delayed start (ChangeServiceConfig2W level 3, error 124)" in logged
    wine.run(exe, ["/uninstall"])


def test_delayed_start_is_not_asked_for_a_demand_start_service(wine, keepalive, pack, name, tmp_path):
    exe = service_launcher(pack, name, "setting 30106 = 1\n")
    log = tmp_path / "log"
    log.mkdir()
    result = wine.run(exe, ["/install"], env=logged_env(log))
    assert (result.returncode, lines(result)) == (0, f"Installed service '{name}'.\n")
    assert "delayed start not set: the service starts on demand" in log_lines(read_log(log))
    wine.run(exe, ["/uninstall"])


def test_event_source_registered_at_install_and_removed_at_uninstall(wine, keepalive, pack, name):
    exe = service_launcher(pack, name)
    assert wine.run(exe, ["/install"]).returncode == 0
    source = wine.command("reg", "query", EVENT_SOURCES + name)
    assert source.returncode == 0, source
    values = {parts[0]: (parts[1], parts[2]) for parts in
              (line.strip().split(None, 2) for line in source.stdout.splitlines()) if len(parts) == 3}
    assert values["EventMessageFile"] == ("REG_EXPAND_SZ", service_config(wine, name)["ImagePath"].strip('"'))
    assert values["TypesSupported"] == ("REG_DWORD", "0x7")
    assert wine.run(exe, ["/uninstall"]).returncode == 0
    assert wine.command("reg", "query", EVENT_SOURCES + name).returncode == 1
    # A source left behind by a service deleted otherwise goes with the next uninstall.
    wine.command("reg", "add", EVENT_SOURCES + name, "/v", "TypesSupported", "/t", "REG_DWORD", "/d", "7", "/f")
    missing = wine.run(exe, ["/uninstall"])
    assert_failure_with_reason(missing, "Could not delete service.\n", 1060)
    assert wine.command("reg", "query", EVENT_SOURCES + name).returncode == 1


# ---------------------------------------------------------------------------------------
# The start check of /start
#
# Wine's manager never notices a service process that ends without reporting stopped (it
# keeps reporting running), so /start watches the process itself: it takes the process id
# from QueryServiceStatusEx right after the manager accepted the start, opens the process at
# once, waits for it up to start_check_seconds and reads its exit code. Where there is no
# process to watch (the service already stopped), it asks the manager instead.


@pytest.fixture
def checked_service(wine, keepalive, pack, tmp_path, name):
    """checked_service(actions, seconds) -> launcher of a demand-start service whose stand-in
    application runs `actions`, with a start check of `seconds`; uninstalled after the test."""
    made = []

    def make(actions, seconds):
        directory = tmp_path / f"s{len(made)}"
        settings = {101: name, 107: "0", 122: "com.example.App", 128: "Bjre", 30104: str(seconds)}
        exe = pack(launcher_description(settings), name="svc.exe", directory=directory)
        make_jre(directory / "jre").use_world(JavaWorld().main(*actions))
        made.append(exe)
        return exe
    yield make
    for exe in made:
        wine.run(exe, ["/uninstall"])


def start_checked(wine, exe, name, tmp_path, *arguments):
    log = tmp_path / f"startlog{uuid.uuid4().hex[:6]}"
    log.mkdir()
    assert wine.run(exe, ["/install"]).returncode == 0
    result = wine.run(exe, ["/start", name, *arguments], env=logged_env(log))
    return result, log_lines(read_log(log))


def test_start_check_of_a_running_service_adds_nothing(wine, checked_service, name, tmp_path):
    exe = checked_service((Do.read_line(), Do.exit(0)), 2)
    result, logged = start_checked(wine, exe, name, tmp_path)
    assert (result.returncode, lines(result)) == (0, f"Starting service '{name}'.\n")
    assert [line for line in logged if line.startswith("start check: watching service process ")]
    stop = wine.run(exe, ["/stop"])
    assert lines(stop) == f"Stopping service '{name}'.\nService stopped\n"


def test_start_check_reports_an_application_that_ends_at_once(wine, checked_service, name, tmp_path):
    exe = checked_service((Do.exit(0),), 30)
    result, _ = start_checked(wine, exe, name, tmp_path)
    # The service reported stopped and its process ended with 0: told, but no failure.
    assert (result.returncode, lines(result)) == (
        0, f"Starting service '{name}'.\nService '{name}' ended within 30 seconds with exit code 0.\n")


def test_start_check_reports_a_service_that_ends_without_reporting_stopped(wine, checked_service, name, tmp_path):
    exe = checked_service((Do.exit(3),), 30)
    result, logged = start_checked(wine, exe, name, tmp_path)
    assert result.returncode == 1
    assert re.fullmatch(rf"Starting service '{name}'\.\nService '{name}' ended within 30 seconds without reporting "
                        rf"stopped, exit code \d+\.\n", lines(result)), lines(result)
    assert "start check: the service ended (without a stopped report)" in logged


def test_start_check_tells_the_applications_exit_code(wine, checked_service, name, tmp_path):
    exe = checked_service((Do.exit(3),), 30)
    result, _ = start_checked(wine, exe, name, tmp_path)
    assert lines(result).endswith(f"Service '{name}' ended within 30 seconds without reporting stopped, exit code 3.\n")


def test_start_check_reports_the_supervisors_code_when_the_application_cannot_start(
        wine, checked_service, name, tmp_path):
    # Start arguments too long for the child's command line: the supervisor reports the
    # service stopped with its service-specific code 5000 and starts no application.
    exe = checked_service((Do.exit(0),), 30)
    result, _ = start_checked(wine, exe, name, tmp_path, "x" * 13000)
    assert (result.returncode, lines(result)) == (
        1, f"Starting service '{name}'.\nService '{name}' ended within 30 seconds with exit code 5000.\n")
