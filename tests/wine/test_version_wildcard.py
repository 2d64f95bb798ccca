"""Version-specific JVM options chosen by a wildcard condition with many stars against a long
version text: the launcher answers at once (a matcher that retries every star at every
position would need many minutes here, far beyond the run's time limit)."""
from conftest import LoggedLauncher, log_lines, winpath
from runtimes import make_jre

# Thirteen "*?" pairs and a last character that the version text lacks.
STARS = "*?" * 13


def test_many_stars_against_a_long_version_are_matched_within_the_run(wine, pack, tmp_path):
    version = "17" + ".0" * 19  # 40 characters
    jre = make_jre(tmp_path / "jre", version)
    settings = {101: "WildcardTest", 128: "A" + winpath(jre.root), 10200: "2",
                10201: "*" + STARS + "*x", 10202: "-Dnever",
                10203: "*" + STARS + "*0", 10204: "-Dwild"}
    launcher = LoggedLauncher(wine, pack, tmp_path, settings)
    jre.clear_records()
    # Wine.run raises when the launcher has not ended within its normal time limit.
    result, log = launcher.run_logged(["/run"])
    lines = log_lines(log)
    assert f"check 2 version specific vm option lines for {version}" in lines
    assert f"checking version *{STARS}*x 0" in lines
    assert f"checking version *{STARS}*0 1" in lines
    created = jre.records("jvm-create")
    assert len(created) == 1, "\n".join(lines)
    options = created[0].options()
    assert "-Dwild" in options
    assert "-Dnever" not in options
