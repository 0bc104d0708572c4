#!/usr/bin/env python3
"""Checks orvik-cdcheck's SARIF output on a broken copy of the sample CD.

The log is parsed and held to what SARIF 2.1.0 and code-scanning uploads
require, not compared byte for byte.

usage: sarif_test.py ORVIK_CDCHECK SAMPLE_CD
"""
import json
import pathlib
import shutil
import subprocess
import sys
import tempfile

LEVELS = {"error", "warning", "note"}


def fail(why):
    print("sarif_test: " + why, file=sys.stderr)
    sys.exit(1)


def check_log(log, cd_uri):
    if log.get("version") != "2.1.0":
        fail("version is not 2.1.0")
    run = log["runs"][0]
    driver = run["tool"]["driver"]
    if driver.get("name") != "orvik-cdcheck" or not driver.get("version"):
        fail("driver name or version missing")
    rules = driver["rules"]
    ids = [rule["id"] for rule in rules]
    if len(set(ids)) != len(ids):
        fail("rule ids repeat")
    for rule in rules:
        if not rule["shortDescription"]["text"]:
            fail(rule["id"] + " has no description")
        if rule["defaultConfiguration"]["level"] not in LEVELS:
            fail(rule["id"] + " has no valid level")
    results = run["results"]
    for result in results:
        rule = rules[result["ruleIndex"]]
        if rule["id"] != result["ruleId"]:
            fail("ruleIndex does not point to " + result["ruleId"])
        if result["level"] != rule["defaultConfiguration"]["level"]:
            fail(result["ruleId"] + " reported at another level than its rule's")
        if not result["message"]["text"]:
            fail(result["ruleId"] + " has no message")
        location = result["locations"][0]["physicalLocation"]
        if not location["artifactLocation"]["uri"].startswith(cd_uri):
            fail("uri outside the CD: " + location["artifactLocation"]["uri"])
        start_line = location["region"]["startLine"]
        if not isinstance(start_line, int) or start_line < 1:
            fail("startLine is not a line number")
    return {(r["ruleId"], r["locations"][0]["physicalLocation"]["region"]["startLine"])
            for r in results}


def main():
    tool, sample_cd = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as temp:
        cd = pathlib.Path(temp) / "broken cd"
        shutil.copytree(sample_cd, cd)
        (cd / "prog" / "orvik8.exe").unlink()
        run = subprocess.run([tool, "--format", "sarif", str(cd)],
                             capture_output=True, check=False)
        if run.returncode != 1:
            fail("exit status %d, expected 1" % run.returncode)
        found = check_log(json.loads(run.stdout.decode("ascii")), cd.as_uri())
        if ("copy-list/source-missing", 6) not in found:
            fail("the missing orvik8.exe is not reported at eopylist.dat:6")
        if not any(rule == "message-file/product-version" for rule, _ in found):
            fail("notes are missing without --quiet")


if __name__ == "__main__":
    main()
