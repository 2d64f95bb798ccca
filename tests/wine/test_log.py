"""The diagnostic log: switched on only by RAVEL_LOG or QUILLWORK_LOG equal to "yes", written
to the next free qwk_nlog_<n>.log in the temp directory as UTF-8 with byte-order mark and
CR LF line ends, a header naming the executable, and one "[s:ms] " prefix per line."""
import re

import pytest

from conftest import read_log, temp_env, winpath

BASIC = "setting 101 = LogTest\nsetting 107 = 0\n"
LINE = re.compile(r"^\[(0|-?[1-9]\d*):(0|-?[1-9]\d{0,2})\] ")


def log_env(temp, ravel="yes", quillwork=None):
    temp.mkdir(parents=True, exist_ok=True)
    return {**temp_env(temp), "RAVEL_LOG": ravel, "QUILLWORK_LOG": quillwork}


def log_files(directory):
    return sorted(p.name for p in directory.glob("qwk_nlog_*"))


def test_numbering_continues_after_existing_logs(wine, pack, tmp_path):
    temp = tmp_path / "temp"
    temp.mkdir()
    for n in (1, 2, 3):
        (temp / f"qwk_nlog_{n}.log").write_bytes(b"old %d" % n)
    exe = pack(BASIC)
    assert wine.run(exe, ["/help"], env=log_env(temp)).returncode == 0
    assert log_files(temp) == [f"qwk_nlog_{n}.log" for n in (1, 2, 3, 4)]
    for n in (1, 2, 3):
        assert (temp / f"qwk_nlog_{n}.log").read_bytes() == b"old %d" % n
    assert (temp / "qwk_nlog_4.log").read_bytes().startswith(b"\xef\xbb\xbfStarted executable ")


def test_header_names_the_executable_and_every_line_has_the_elapsed_prefix(wine, pack, tmp_path):
    temp = tmp_path / "temp"
    exe = pack(BASIC)
    wine.run(exe, ["/help"], env=log_env(temp))
    lines = read_log(temp).split("\r\n")
    header = re.fullmatch(r"Started executable (.+) at (\w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4})", lines[0])
    assert header, lines[0]
    assert header.group(1) == winpath(exe)
    # The time text ends with its own line feed, so an empty line follows the header.
    assert lines[1] == ""
    assert lines[-1] == ""  # the file ends with a complete line
    body = lines[2:-1]
    assert body, "nothing logged after the header"
    times = []
    for line in body:
        match = LINE.match(line)
        assert match, line
        times.append(int(match.group(1)) * 1000 + int(match.group(2)))
    assert times == sorted(times)
    assert any(line.endswith("] language/country is en_US") for line in body)


def test_file_is_utf8_with_byte_order_mark_and_cr_lf(wine, pack, tmp_path):
    temp = tmp_path / "temp"
    exe = pack(BASIC, name="Gr\u00fc\u00dfe \u65e5\u672c.exe")
    wine.run(exe, ["/help"], env=log_env(temp))
    [name] = log_files(temp)
    data = (temp / name).read_bytes()
    assert data.startswith(b"\xef\xbb\xbf")
    assert not data[3:].startswith(b"\xef\xbb\xbf")
    assert data.count(b"\n") == data.count(b"\r\n") > 3
    assert data.count(b"\r") == data.count(b"\r\n")
    text = data[3:].decode("utf-8")  # strict: the whole file is valid UTF-8
    assert text.startswith("Started executable " + winpath(exe) + " at ")


@pytest.mark.parametrize("ravel, quillwork, expected", [
    ("yes", None, True),
    (None, "yes", True),
    ("Yes", None, False),
    ("1", None, False),
    ("YES", None, False),
    ("yes ", None, False),
    (None, "Yes", False),
    (None, None, False),
])
def test_only_exactly_yes_switches_the_log_on(wine, pack, tmp_path, ravel, quillwork, expected):
    temp = tmp_path / "temp"
    exe = pack(BASIC)
    assert wine.run(exe, ["/help"], env=log_env(temp, ravel, quillwork)).returncode == 0
    assert log_files(temp) == (["qwk_nlog_1.log"] if expected else [])


def test_a_file_someone_else_created_is_never_written(wine, pack, tmp_path):
    """The log only ever creates a new file: with every number taken (or a name taken by the
    time the file is made) it stays off, rather than writing into a file someone else
    prepared, or falling back to the root of drive C:, where any user may create files."""
    temp = tmp_path / "temp"
    temp.mkdir()
    for n in range(1, 1001):
        (temp / f"qwk_nlog_{n}.log").write_bytes(b"old")
    fallback = wine.prefix / "drive_c" / "qwk_nlog"
    fallback.unlink(missing_ok=True)
    exe = pack(BASIC + "message 1007 = Bad Java home {0}\n")
    result = wine.run(exe, ["/run"], env={**log_env(temp), "RAVEL_JAVA_HOME": None, "QUILLWORK_JAVA_HOME": None})
    assert result.returncode == 1
    assert len(log_files(temp)) == 1000
    assert all((temp / f"qwk_nlog_{n}.log").read_bytes() == b"old" for n in range(1, 1001))
    assert not fallback.exists()
    assert not list((wine.prefix / "drive_c").glob("qwk_nlog*"))
    # Without a log the fatal message names none.
    assert "Log:" not in result.stderr
