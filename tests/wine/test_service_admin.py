"""Service administration against Wine's real Service Control Manager: the console texts
and exit codes of install, uninstall, stop, start and status."""
import uuid

import pytest


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


def test_missing_service_fails_every_command(wine, keepalive, pack, name):
    exe = service_launcher(pack, name)
    status = wine.run(exe, ["/status"])
    assert (status.returncode, lines(status)) == (1, "Could not get status.\n")
    stop = wine.run(exe, ["/stop"])
    assert (stop.returncode, lines(stop)) == (1, "Could not stop service.\n")
    uninstall = wine.run(exe, ["/uninstall"])
    assert (uninstall.returncode, lines(uninstall)) == (1, "Could not delete service.\n")
    start = wine.run(exe, ["/start"])
    assert start.returncode == 1
    assert lines(start) == "Could not start service. Error code: 1060\n"  # ERROR_SERVICE_DOES_NOT_EXIST


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
