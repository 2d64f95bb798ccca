"""UI language selection: the Windows UI language becomes a Java-style locale name, and every
locale section whose name is a prefix of it overrides the base messages, later sections last.

Wine takes the UI language from the Unix locale of the process that starts its server, so
each case restarts the server under the locale it needs (and again afterwards, so that the
rest of the suite runs under the default locale)."""
import pytest

from conftest import logged_env, read_log, winpath

LAUNCHER = """setting 101 = LocaleTest
setting 107 = 0
message 1009 = Extraction failed: {0}
file payload.bin = payload.bin
locale de
message 1009 = Entpacken fehlgeschlagen: {0}
locale de_AT
message 1009 = Auspacken fehlgeschlagen: {0}
locale es_ES
message 1009 = Error en Espa\u00f1a: {0}
locale es
message 1009 = Error al extraer: {0}
locale no_NO_NY
message 1009 = Utpakking feila: {0}
locale fr
message 1009 = Extraction impossible : {0}
"""


@pytest.fixture
def fatal_launcher(pack, tmp_path):
    """A launcher whose `/run` fails with message 1009 (its included file is cut short)."""
    directory = tmp_path / "app"
    directory.mkdir()
    (directory / "payload.bin").write_bytes(bytes(range(100)))
    exe = pack(LAUNCHER, directory=directory)
    exe.write_bytes(exe.read_bytes()[:-1])
    return exe


@pytest.mark.parametrize("unix_locale, chosen, text", [
    ("de_DE.UTF-8", "de_DE", "Entpacken fehlgeschlagen: 16"),
    # 0x0C07 has its own row; both "de" and the later "de_AT" section apply.
    ("de_AT.UTF-8", "de_AT", "Auspacken fehlgeschlagen: 16"),
    # US Spanish (0x540A) has no row: the primary language gives "es", which the "es_ES"
    # section is not a prefix of.
    ("es_US.UTF-8", "es", "Error al extraer: 16"),
    ("nn_NO.UTF-8", "no_NO_NY", "Utpakking feila: 16"),
    ("pt_BR.UTF-8", "pt_BR", "Extraction failed: 16"),
    # Tajik is not in the table at all.
    ("tg_TJ.UTF-8", "en", "Extraction failed: 16"),
    ("C.UTF-8", "en_US", "Extraction failed: 16"),
])
def test_ui_language_selects_the_messages(wine, fatal_launcher, tmp_path, unix_locale, chosen, text):
    temp = tmp_path / "temp"
    temp.mkdir()
    env = {**logged_env(temp), "QUILLWORK_LOG": None}
    locale_env = {"LC_ALL": unix_locale, "LANG": unix_locale}
    wine.kill_server()
    try:
        result = wine.run(fatal_launcher, ["/run"], env=env, unix_env=locale_env)
    finally:
        wine.kill_server()
    assert result.returncode == 1
    log_path = winpath(temp / "qwk_nlog_1.log")
    assert result.stderr == f"{text}\r\n\r\nLog: {log_path}\r\n"
    choices = [line for line in read_log(temp).splitlines() if "language/country is" in line]
    assert len(choices) == 1, choices
    assert choices[0].endswith(f"] language/country is {chosen}")
