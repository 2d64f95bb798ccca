"""The supervised run under Wine's real Service Control Manager: the service process starts a
child copy of the launcher, which runs the stand-in Java application; a stop request reaches
the application as one line on its standard input; the outcome is reported to the SCM.

The oracles are the stand-in runtime's records (the child's exact command line and priority
class when it loads jvm.dll, the options and main arguments of the JVM, the bytes main read
from standard input), the SCM's state as `sc query` shows it, the diagnostic logs of the
supervisor and the child, and the Unix process list for what is left running.

Services get the environment the SCM was started with, not the one of the command that
starts them, so the module turns the log on through the system environment in the registry
and restarts the prefix's server around its tests. Their logs land in the user's temp folder
of the prefix and are told apart by the launcher path in their header.
"""
import os
import re
import subprocess
import time
import uuid
from pathlib import Path

import pytest

from conftest import (BUILD, DIST, WINE64, launcher_description, linux_processes, log_lines, logs_of, service_managers,
                      winpath)
from runtimes import Do, JavaWorld, make_jre, runtimecheck

SYSTEM_ENVIRONMENT = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\Environment"
PRIORITY_KEY = "HKLM\\SOFTWARE\\brightmoor-labs\\ravel\\priority"
# Commands of the test itself run without the log, so only the services write logs.
NO_LOG = {"RAVEL_LOG": None, "QUILLWORK_LOG": None}
STOPPED, STOP_PENDING, RUNNING = 1, 3, 4
NORMAL_PRIORITY_CLASS, BELOW_NORMAL_PRIORITY_CLASS = 0x20, 0x4000
ERROR_SERVICE_CANNOT_ACCEPT_CTRL = 1061


def restart_server(wine, event_output=None):
    """A new server with the prefix's system processes started from one quiet command, as the
    suite's session does it. Two commands racing to start them can leave two SCMs side by
    side, each answering every other request; that is checked, so it cannot pass unseen.

    With `event_output` (a path), the system processes and the services they start write
    Wine's own report of every Event Log entry (its "eventlog" debug channel, the only one on)
    to that file: Wine 8 keeps no event log that could be read back, it prints the entries'
    texts through that channel instead."""
    env = wine.base_env()
    if event_output is not None:
        env["WINEDEBUG"] = "-all,err+eventlog"
    for _ in range(3):
        wine.kill_server()
        subprocess.run(["wineserver", "-p"], env=env, timeout=60,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with open(event_output or os.devnull, "ab") as errors:
            subprocess.run([WINE64, "sc", "query", "RavelWarmUp"], env=env, timeout=120,
                           stdout=subprocess.DEVNULL, stderr=errors)
        managers = service_managers(wine.prefix)
        if len(managers) == 1:
            return
    pytest.fail(f"the prefix's server did not come up with one Service Control Manager: {managers}")


@pytest.fixture(scope="module")
def event_output(tmp_path_factory) -> Path:
    """The file that receives Wine's report of the Event Log entries written in this module."""
    return tmp_path_factory.mktemp("events") / "eventlog.txt"


@pytest.fixture(scope="module")
def scm(wine, event_output):
    """An SCM whose services log, kept alive by one ordinary Wine process for the module."""
    wine.command("reg", "add", SYSTEM_ENVIRONMENT, "/v", "RAVEL_LOG", "/d", "yes", "/f")
    restart_server(wine, event_output)
    keeper = subprocess.Popen([WINE64, str(BUILD / "win64" / "sleeper.exe")], env=wine.base_env(),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    yield wine
    keeper.kill()
    keeper.wait()
    wine.command("reg", "delete", SYSTEM_ENVIRONMENT, "/v", "RAVEL_LOG", "/f")
    restart_server(wine)


def service_temp(wine) -> Path:
    """The temp folder of the prefix's user, which services get from the user environment."""
    [temp] = [p for p in (wine.prefix / "drive_c" / "users").glob("*/Temp") if p.parent.name != "Public"]
    return temp


class Service:
    """A launcher installed as a demand-start service, in a folder whose name holds a space,
    with a stand-in JRE beside it whose Java world runs `actions` in the launcher class's
    main. Records and transcript share the JRE's record file."""

    def __init__(self, wine, pack, directory: Path, name: str, actions, settings=None):
        self.wine = wine
        self.name = name
        self.dir = directory / "svc app"
        self.dir.mkdir(parents=True)
        settings = {101: name, 107: "0", 122: "com.example.App", 128: "Bjre", **(settings or {})}
        self.exe = pack(launcher_description(settings), name="svc.exe", directory=self.dir)
        self.jre = make_jre(self.dir / "jre", release={"STANDIN_TRANSCRIPT": "standin.log"})
        self.jre.use_world(JavaWorld().main(*actions))

    def admin(self, *args):
        return self.wine.run(self.exe, list(args), env=NO_LOG)

    def install(self):
        result = self.admin("/install")
        assert result.returncode == 0, result

    def start(self, *arguments):
        result = self.admin("/start", self.name, *arguments)
        assert (result.returncode, result.stdout) == (0, f"Starting service '{self.name}'.\r\n"), result

    def stop(self):
        """The launcher's stop command, which waits until the SCM shows the service stopped."""
        result = self.admin("/stop")
        assert (result.returncode, result.stdout) == (
            0, f"Stopping service '{self.name}'.\r\nService stopped\r\n"), result

    def query(self):
        """(state, Win32 exit code, service-specific exit code) as the SCM reports them. Wine's
        sc.exe now and then prints nothing at all for a service that exists, so a query without
        a state is asked again before it counts as a failure."""
        answers = []
        for _ in range(3):
            result = self.wine.command("sc", "query", self.name)
            fields = dict(re.findall(r"^\s*(STATE|WIN32_EXIT_CODE|SERVICE_EXIT_CODE)\s*:\s*(\d+)",
                                     result.stdout, re.M))
            if "STATE" in fields:
                return int(fields["STATE"]), int(fields["WIN32_EXIT_CODE"]), int(fields["SERVICE_EXIT_CODE"])
            answers.append(result)
            time.sleep(0.3)
        pytest.fail(f"sc query gave no state: {answers}")

    def wait_for_state(self, state, timeout=30):
        deadline = time.monotonic() + timeout
        while True:
            current = self.query()
            if current[0] == state or time.monotonic() > deadline:
                return current
            time.sleep(0.2)

    def main_calls(self):
        return [r for r in self.jre.records("call") if r["method"] == "main"]

    def wait_for_main(self, count=1, timeout=30):
        """Waits until main has been called `count` times over all runs of the service."""
        deadline = time.monotonic() + timeout
        while len(self.main_calls()) < count:
            assert time.monotonic() < deadline, (self.jre.records(), self.logs())
            time.sleep(0.1)

    def processes(self):
        """{Unix process id: arguments} of the running Wine processes of this launcher (Wine
        shows a process's Windows command line, split, as its Unix one)."""
        program = winpath(self.exe).lower()

        def arguments_of_this_launcher(entry):
            words = (entry / "cmdline").read_bytes().decode("utf-8", "replace").split("\0")
            return [word for word in words[1:] if word] if words[0].lower() == program else None
        return linux_processes(arguments_of_this_launcher)

    def service_processes(self):
        """The roles of the running processes of the service: "supervisor" (started without
        arguments) and "child" (restart marker last), sorted. An administration command of
        the test that has not quite left the process list is no part of the service."""
        roles = []
        for arguments in self.processes().values():
            if not arguments:
                roles.append("supervisor")
            elif arguments[-1] == "__qwk_restart":
                roles.append("child")
        return sorted(roles)

    def wait_until_gone(self, timeout=30):
        deadline = time.monotonic() + timeout
        while self.processes() and time.monotonic() < deadline:
            time.sleep(0.1)
        return self.processes()

    def log_files(self):
        return logs_of(self.exe, service_temp(self.wine))

    def logs(self):
        """(supervisor logs, child logs): each the list of lines of one process's log without
        header and time stamps, in the order of the files."""
        supervisors, children = [], []
        for f in self.log_files():
            lines = log_lines(f.read_bytes().decode("utf-8-sig"))
            command = next((line for line in lines if line.startswith("command line ")), "")
            (children if command.endswith(" __qwk_restart") else supervisors).append(lines)
        return supervisors, children

    def supervisor_log(self):
        supervisors, _ = self.logs()
        assert len(supervisors) == 1, supervisors
        return supervisors[0]

    def remove(self):
        self.admin("/uninstall")
        for f in self.log_files():
            f.unlink()


@pytest.fixture
def service(scm, pack, tmp_path):
    """service(actions, name=None, settings=None) -> an installed Service (`settings` add to or
    replace the configuration's); uninstalled after the test."""
    made = []

    def make(actions, name=None, settings=None):
        created = Service(scm, pack, tmp_path / f"s{len(made)}", name or "RavelRun" + uuid.uuid4().hex[:8], actions,
                          settings)
        made.append(created)
        created.install()
        return created
    yield make
    for created in made:
        created.remove()


def without_drain_lines(lines):
    """The log without the lines of the thread that drains the child's output, which may fall
    anywhere once the child has ended."""
    return [line for line in lines if not line.startswith("consuming output")]


def main_arguments(call):
    return [call[f"arg0[{i}]"] for i in range(int(call["arg0.length"]))]


# An application that ends when its supervisor sends the shutdown line, reading once more to
# see what follows the line.
READS_THE_SHUTDOWN_LINE = (Do.read_line(), Do.read_line(), Do.exit(0))


# ---------------------------------------------------------------------------------------
# The child and what the application receives


def test_child_gets_the_quoted_name_the_start_arguments_and_the_service_options(service):
    svc = service(READS_THE_SHUTDOWN_LINE, name="My App")
    svc.start("a", "x y")
    svc.wait_for_main()
    assert svc.query()[0] == RUNNING
    [load] = svc.jre.records("jvm-load")
    # The program path holds a space (the folder), so it is quoted like the name and "x y".
    assert load["command"] == f'"{winpath(svc.exe)}" "My App" a "x y" __qwk_restart'
    [call] = svc.main_calls()
    assert main_arguments(call)[5:] == ["My App", "a", "x y"]
    [create] = svc.jre.records("jvm-create")
    options = create.options()
    assert "-Xrs" in options
    assert "-Dravel.isService=true" in options
    svc.stop()
    supervisor = svc.supervisor_log()
    assert "service name is 'My App'" in supervisor
    assert "registering ConsoleCtrlHandler" in supervisor
    [child] = svc.logs()[1]
    assert f'command line "{winpath(svc.exe)}" "My App" a "x y" __qwk_restart' in child


def test_start_arguments_with_quotes_tabs_and_j_options_reach_main_exactly(service):
    """Start arguments holding quotes, a tab and a trailing backslash come to main exactly, and
    the application runs (a quote once swallowed the restart marker, so the child went to the
    dispatcher instead). A -J start argument, with -J arguments allowed, does not become a JVM
    option in a service: it reaches main like the others. (No empty start argument here: Wine's
    StartServiceW drops it and every argument after it; the unit tests cover empty ones.)"""
    svc = service(READS_THE_SHUTDOWN_LINE, settings={125: "1"})
    arguments = ['say "hi"', '"', 'tab\there', 'dir\\', '-J-Dinjected=yes', '-J-agentpath:C:\\x.dll']
    # /start's own command line, written for the launcher's splitting: quotes doubled
    # inside a quoted group.
    raw = " ".join(["/start", svc.name] + ['"' + a.replace('"', '""') + '"' for a in arguments])
    result = svc.wine.run(svc.exe, raw=raw, env=NO_LOG)
    assert (result.returncode, result.stdout) == (0, f"Starting service '{svc.name}'.\r\n"), result
    svc.wait_for_main()
    [call] = svc.main_calls()
    assert main_arguments(call)[5:] == [svc.name, *arguments]
    [create] = svc.jre.records("jvm-create")
    options = create.options()
    assert not [o for o in options if "injected" in o or "agentpath" in o], options
    assert "-Xrs" in options
    svc.stop()
    [child] = svc.logs()[1]
    assert "service: -J argument is no JVM option here: -J-Dinjected=yes" in child
    assert "service: -J argument is no JVM option here: -J-agentpath:C:\\x.dll" in child


def test_stop_sends_one_line_then_end_of_input_and_reports_stopped(service):
    svc = service(READS_THE_SHUTDOWN_LINE)
    svc.start()
    svc.wait_for_main()
    svc.stop()
    lines = [(r["hex"], r["eof"]) for r in svc.jre.records("stdin-line")]
    assert lines == [("300a", "0"), ("", "1")]
    assert [r["code"] for r in svc.jre.records("exit")] == ["0"]
    assert svc.query() == (STOPPED, 0, 0)
    supervisor = without_drain_lines(svc.supervisor_log())
    handled = supervisor.index("control handler request 1")
    assert supervisor[handled:handled + 4] == ["control handler request 1", "sending shutdown1 0", "shutdown sent",
                                               "process terminated with exit code 0"]
    # A regular stop is no failure: nothing goes to the Event Log.
    assert not [line for line in supervisor if "event log" in line]
    assert not svc.wait_until_gone()


def test_second_stop_while_stop_pending_leaves_the_closed_channel_alone(service):
    # The application reads the line and its end, then takes a while before it exits, so the
    # service stays stop pending while the second request comes.
    svc = service((Do.read_line(), Do.read_line(), Do.sleep(3000), Do.exit(0)))
    svc.start()
    svc.wait_for_main()
    first = subprocess.Popen([WINE64, "sc", "stop", svc.name], env=svc.wine.base_env(),
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    assert first.wait(timeout=60) == 0
    assert svc.query()[0] == STOP_PENDING
    second = svc.admin("/stop")
    # The SCM refuses a stop control while the service is stop pending, so the handler never
    # sees it and the launcher's stop command reports the refusal, with the system's reason.
    assert second.returncode == 1
    assert re.fullmatch(rf"Could not stop service\.\r\n\S[^\r\n]* \({ERROR_SERVICE_CANNOT_ACCEPT_CTRL}\)\r\n",
                        second.stdout), second.stdout
    assert svc.wait_for_state(STOPPED) == (STOPPED, 0, 0)
    supervisor = svc.supervisor_log()
    assert supervisor.count("control handler request 1") == 1
    assert supervisor.count("sending shutdown1 0") == 1
    assert supervisor.count("shutdown sent") == 1
    assert not [line for line in supervisor if line.startswith("sending shutdown failed")]
    assert "process terminated with exit code 0" in supervisor
    assert [(r["hex"], r["eof"]) for r in svc.jre.records("stdin-line")] == [("300a", "0"), ("", "1")]


# ---------------------------------------------------------------------------------------
# The application ending by itself


def test_application_ending_with_zero_is_reported_stopped(service):
    svc = service((Do.exit(0),))
    svc.start()
    assert svc.wait_for_state(STOPPED) == (STOPPED, 0, 0)
    supervisor = svc.supervisor_log()
    assert "process terminated with exit code 0" in supervisor
    assert "control handler request 1" not in supervisor
    assert not svc.wait_until_gone()


def test_application_ending_with_three_leaves_the_running_report_standing(service):
    svc = service((Do.exit(3),))
    svc.start()
    svc.wait_for_main()
    assert not svc.wait_until_gone()
    supervisor = without_drain_lines(svc.supervisor_log())
    terminated = supervisor.index("process terminated with exit code 3")
    # No stopped report: the supervisor writes the failure to the Event Log and goes
    # straight on to its end.
    assert supervisor[terminated + 1:] == ["event log entry written", "exiting"]
    # The SCM keeps the last report: running, though no process of the service is left.
    time.sleep(5)
    assert svc.query() == (RUNNING, 0, 0)


# ---------------------------------------------------------------------------------------
# The child's priority class from the registry


@pytest.fixture
def priority_value():
    """priority_value(service, type, data) writes the service's value under the priority key;
    every value written is removed after the test."""
    written = []

    def write(svc, kind, data):
        result = svc.wine.command("reg", "add", PRIORITY_KEY, "/v", svc.name, "/t", kind, "/d", data, "/f")
        assert result.returncode == 0, result
        written.append(svc)
    yield write
    for svc in written:
        svc.wine.command("reg", "delete", PRIORITY_KEY, "/v", svc.name, "/f")


# Wine 8 drops a priority class given to CreateProcess (the child always runs at normal
# priority there), so the supervisor's log of the class it chose is the oracle here.
@pytest.mark.parametrize("kind, data, logged", [
    (None, None, None),
    ("REG_DWORD", "0x4000", "using priority 16384"),
    # The value's type is not looked at, only its size: eight bytes are not a priority class.
    ("REG_QWORD", "0x4000", None),
    ("REG_BINARY", "00400000", "using priority 16384"),
])
def test_child_priority_class_comes_from_a_four_byte_registry_value(service, priority_value, kind, data, logged):
    svc = service(READS_THE_SHUTDOWN_LINE)
    if kind is not None:
        priority_value(svc, kind, data)
    svc.start()
    svc.wait_for_main()
    svc.stop()
    using = [line for line in svc.supervisor_log() if line.startswith("using priority")]
    assert using == ([logged] if logged else [])


# ---------------------------------------------------------------------------------------
# Soak


def test_twenty_start_stop_cycles_leave_nothing_running(service):
    svc = service(READS_THE_SHUTDOWN_LINE)
    for cycle in range(1, 21):
        svc.start()
        svc.wait_for_main(count=cycle)
        if cycle == 1:
            # The process check below can see the two processes of a running service.
            assert svc.service_processes() == ["child", "supervisor"], svc.processes()
        svc.stop()
        assert svc.query() == (STOPPED, 0, 0), cycle
    assert not svc.wait_until_gone(timeout=10)
    assert len(svc.main_calls()) == 20
    assert len(svc.jre.records("stdin-line")) == 40
    assert {(r["hex"], r["eof"]) for r in svc.jre.records("stdin-line")} == {("300a", "0"), ("", "1")}
    supervisors, children = svc.logs()
    assert (len(supervisors), len(children)) == (20, 20)


# ---------------------------------------------------------------------------------------
# Stop requests timed into the start

SERVICERACE = BUILD / "win64" / "servicerace.exe"
# Microseconds from the supervisor's first running report to the stop request: at once (the
# supervisor is still setting up the child's pipes), during the child's creation, and after
# it (the application is not reading its input yet).
RACE_DELAYS = "0,0,0,50,100,200,400,700,1000,1500,2000,3000,5000,8000,12000,20000"
NOT_STARTED = "stop requested before the child's start: not starting it"


def race(svc, cycles, delays=RACE_DELAYS):
    """(exit code, one dict per cycle) of servicerace.exe on the service (see its source)."""
    result = svc.wine.run(SERVICERACE, [svc.name, str(cycles), delays], env=NO_LOG, timeout=900)
    return result.returncode, [dict(pair.split("=", 1) for pair in line.split())
                               for line in result.stdout.splitlines() if line.startswith("cycle=")]


def test_stop_timed_into_the_start_is_neither_lost_nor_undone(service):
    # The application is slow to start: it sleeps before it reads its input, so a running
    # report that wrongly followed the stop would stand long enough to be seen, and a stop
    # line that was lost would leave it running. The output file's opening lies between the
    # first running report and the creation of the child's input, and widens that gap.
    svc = service((Do.sleep(300), Do.read_line(), Do.read_line(), Do.exit(0)), settings={30101: "race.txt"})
    cycles = 32
    returncode, seen = race(svc, cycles)
    assert (returncode, len(seen)) == (0, cycles), seen
    for cycle in seen:
        assert (cycle["result"], cycle["win32"], cycle["specific"]) == ("stopped", "0", "0"), cycle
        # Once the stop was accepted the service was stop pending or stopped, never running.
        assert set(cycle["states"].split(",")) <= {str(STOP_PENDING), str(STOPPED)}, cycle
    assert not svc.wait_until_gone()
    supervisors, children = svc.logs()
    assert len(supervisors) == cycles
    not_started = sum(NOT_STARTED in lines for lines in supervisors)
    assert len(children) + not_started == cycles
    # Every child that was started got the line, whenever the stop came.
    assert len(svc.main_calls()) == len(children)
    lines = [(r["hex"], r["eof"]) for r in svc.jre.records("stdin-line")]
    assert lines == [("300a", "0"), ("", "1")] * len(children)


# ---------------------------------------------------------------------------------------
# A child that cannot be started


def event_entries(event_output: Path, service_name: str):
    """The texts of the Event Log entries of a service, as Wine reported them: one line per
    entry, "err:eventlog:ReportEventW" and the text as a quoted wide string."""
    entries = []
    for line in event_output.read_text(encoding="utf-8", errors="replace").splitlines():
        match = re.search(r'err:eventlog:ReportEventW L"(.*)"$', line)
        if match:
            text = match[1].encode().decode("unicode_escape")
            if f"service '{service_name}'" in text:
                entries.append(text)
    return entries


def test_child_that_cannot_be_started_stops_the_service_with_its_codes_and_an_event(service, event_output):
    svc = service(READS_THE_SHUTDOWN_LINE)
    # Registered again with a letter after the quoted path: the manager starts the program
    # the quotes name, but the supervisor reads its own command line by the launcher's
    # splitting rules, where quotes only group, so it takes ".../svc.exex" for its program
    # and the child it starts from there does not exist.
    assert svc.wine.command("sc", "delete", svc.name).returncode == 0
    created = svc.wine.command("sc", "create", svc.name, "binpath=", f'"{winpath(svc.exe)}"x')
    assert created.returncode == 0, created
    svc.start()
    assert svc.wait_for_state(STOPPED) == (STOPPED, 1066, 5000)
    assert not svc.wait_until_gone()
    supervisor = svc.supervisor_log()
    [failed] = [line for line in supervisor if line.startswith("could not start process ")]
    assert failed.endswith(" __qwk_restart (2)"), failed
    assert "event log entry written" in supervisor
    assert svc.logs()[1] == []
    assert event_entries(event_output, svc.name) == [
        f"The service '{svc.name}' could not start its application (system error 2)."]


# ---------------------------------------------------------------------------------------
# The output file and the Event Log entry of a failed application


def wait_for_bytes(path: Path, expected: bytes, timeout=30):
    deadline = time.monotonic() + timeout
    while not (path.exists() and path.read_bytes() == expected):
        if time.monotonic() > deadline:
            return path.read_bytes() if path.exists() else None
        time.sleep(0.1)
    return expected


def test_output_file_receives_each_line_as_it_comes(service):
    svc = service((Do.print("first line"), Do.print_error("an error line"), Do.read_line(),
                   Do.print("after the stop"), Do.exit(0)), settings={30101: "output.txt"})
    output = svc.dir / "output.txt"
    svc.start()
    # Both lines are in the file while the application still waits for its stop: each line
    # is written as soon as it is complete.
    assert wait_for_bytes(output, b"first line\r\nan error line\r\n") == b"first line\r\nan error line\r\n"
    assert svc.query()[0] == RUNNING
    svc.stop()
    assert output.read_bytes() == b"first line\r\nan error line\r\nafter the stop\r\n"
    assert f"output file {winpath(output)}" in svc.supervisor_log()


def test_output_file_rotates_at_its_size_keeping_the_newest_older_files(service):
    lines = [f"line {i:02d}" for i in range(30)]
    # Lines of 9 bytes with their CR LF: eleven fit in 100 bytes, the twelfth starts a file.
    svc = service((*[Do.print(line) for line in lines], Do.exit(0)),
                  settings={30101: "${launcher:sys.launcherDirectory}app.log", 30102: "100", 30103: "2"})
    svc.start()
    assert svc.wait_for_state(STOPPED) == (STOPPED, 0, 0)
    assert not svc.wait_until_gone()

    def text(selected):
        return "".join(line + "\r\n" for line in selected).encode()
    assert (svc.dir / "app.log.2").read_bytes() == text(lines[0:11])
    assert (svc.dir / "app.log.1").read_bytes() == text(lines[11:22])
    assert (svc.dir / "app.log").read_bytes() == text(lines[22:])
    assert not (svc.dir / "app.log.3").exists()
    assert svc.supervisor_log().count(f"rotated the output file {winpath(svc.dir / 'app.log')}") == 2


def test_failed_application_leaves_an_event_with_its_exit_code_and_last_output(service, event_output):
    svc = service((Do.print("starting"), Do.print_error("java.lang.IllegalStateException: no database"),
                   Do.exit(3)), settings={30101: "out.txt"})
    svc.start()
    svc.wait_for_main()
    assert not svc.wait_until_gone()
    assert "event log entry written" in svc.supervisor_log()
    assert event_entries(event_output, svc.name) == [
        f"The application of the service '{svc.name}' ended with exit code 3.\r\n\r\n"
        f"Last lines of {winpath(svc.dir / 'out.txt')}:\r\nstarting\r\njava.lang.IllegalStateException: no database"]


def test_event_viewer_shows_an_entry_as_its_text_alone(wine):
    # The event source's message file is the launcher; an entry's id (1) names the message
    # that is the entry's one insertion string and nothing else, so the Event Viewer shows
    # the text the supervisor composed, without a "description cannot be found" preamble.
    text = "The application of the service 'My App' ended with exit code 3 (100% certain: see %2)."
    result = runtimecheck(wine, "message", winpath(DIST / "launcher64.exe"), "1", text)
    assert (result.returncode, result.get("text")) == (0, text), result
    assert runtimecheck(wine, "message", winpath(DIST / "launcher64.exe"), "2", text).returncode == 1
