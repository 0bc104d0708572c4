#!/usr/bin/env python3
"""Checks orvik-cdcheck's SARIF output on a broken copy of the sample CD.

The log is parsed and held to what SARIF 2.1.0 and code-scanning uploads
require, not compared byte for byte: against the SARIF 2.1.0 JSON schema,
and by the SARIF SDK's multitool with its GitHub rules when it is given
(zero errors and warnings). An ISO image of the CD, checked with
--source-root, must point at the same files of the folder.

usage: sarif_test.py ORVIK_CDCHECK SAMPLE_CD AUTHOR_GUIDE [SARIF_MULTITOOL]
"""
import json
import pathlib
import shutil
import subprocess
import sys
import tempfile

import jsonschema

LEVELS = {"error", "warning", "note"}
ANCHOR = "#what-orvik-cdcheck-reports"


def fail(why):
    print("sarif_test: " + why, file=sys.stderr)
    sys.exit(1)


def check_rules(driver, guide):
    rules = driver["rules"]
    ids = [rule["id"] for rule in rules]
    if len(set(ids)) != len(ids):
        fail("rule ids repeat")
    for rule in rules:
        for key in ("shortDescription", "fullDescription"):
            if not rule[key]["text"]:
                fail(rule["id"] + " has no " + key)
        if not rule["name"].isalnum() or not rule["help"]["text"] or not rule["help"]["markdown"]:
            fail(rule["id"] + " has no name or help")
        if not rule["helpUri"].endswith("docs/cd-authoring.md" + ANCHOR):
            fail(rule["id"] + " helpUri does not lead to the author's guide")
        if rule["defaultConfiguration"]["level"] not in LEVELS:
            fail(rule["id"] + " has no valid level")
        if "`%s`" % rule["id"] not in guide:
            fail(rule["id"] + " is not in docs/cd-authoring.md")
    return rules


def check_log(log, cd, guide):
    """The (rule, file, line) of every result; each lies on a file of `cd`."""
    if log.get("version") != "2.1.0":
        fail("version is not 2.1.0")
    run = log["runs"][0]
    driver = run["tool"]["driver"]
    if driver.get("name") != "orvik-cdcheck" or not driver.get("version"):
        fail("driver name or version missing")
    if driver["semanticVersion"].count(".") != 2 or not driver["informationUri"]:
        fail("semanticVersion or informationUri missing")
    if not run["automationDetails"]["id"]:
        fail("automationDetails.id missing")
    rules = check_rules(driver, guide)
    found = set()
    for result in run["results"]:
        rule = rules[result["ruleIndex"]]
        if rule["id"] != result["ruleId"]:
            fail("ruleIndex does not point to " + result["ruleId"])
        if result["level"] != rule["defaultConfiguration"]["level"]:
            fail(result["ruleId"] + " reported at another level than its rule's")
        if not result["message"]["text"]:
            fail(result["ruleId"] + " has no message")
        if len(result["locations"]) != 1:
            fail(result["ruleId"] + " is not on one file")
        location = result["locations"][0]["physicalLocation"]
        uri = location["artifactLocation"]["uri"]
        if not uri.startswith(cd.as_uri() + "/"):
            fail("uri outside the CD folder: " + uri)
        relative = uri[len(cd.as_uri()) + 1:]
        if not (cd / relative).is_file():
            fail("%s points at %s, which is no file" % (result["ruleId"], relative))
        start_line = location["region"]["startLine"]
        if not isinstance(start_line, int) or start_line < 1:
            fail("startLine is not a line number")
        found.add((result["ruleId"], relative, start_line))
    return found


def sarif(tool, *args):
    run = subprocess.run([tool, "--format", "sarif", *args], capture_output=True, check=False)
    if run.returncode != 1:
        fail("exit status %d, expected 1: %s" % (run.returncode, run.stderr.decode()))
    return json.loads(run.stdout.decode("ascii"))


def validate(log, path, schema, multitool):
    jsonschema.validate(log, schema)
    if not multitool:
        return
    path.write_text(json.dumps(log), encoding="ascii")
    report = path.with_suffix(".validation.sarif")
    subprocess.run([multitool, "validate", str(path), "--rule-kind", "Gh;Sarif",
                    "--level", "Error;Warning", "-o", str(report), "--log", "ForceOverwrite"],
                   capture_output=True, check=False)
    findings = json.loads(report.read_text(encoding="utf-8-sig"))["runs"][0]["results"]
    if findings:
        fail("the multitool finds %d problems, the first: %s"
             % (len(findings), findings[0]["message"]))


def main():
    tool, sample_cd, guide_path = sys.argv[1:4]
    multitool = sys.argv[4] if len(sys.argv) > 4 else None
    guide = pathlib.Path(guide_path).read_text(encoding="utf-8")
    schema_path = pathlib.Path(multitool).with_name("sarif-2.1.0.json") if multitool else None
    with tempfile.TemporaryDirectory() as temp:
        cd = pathlib.Path(temp) / "broken cd"
        shutil.copytree(sample_cd, cd)
        (cd / "prog" / "orvik8.exe").unlink()
        (cd / "install" / "finstall.dat").unlink()
        (cd / "install" / "iopylist.dat").unlink()
        log = sarif(tool, str(cd))
        found = check_log(log, cd, guide)
        expected = {("copy-list/source-missing", "install/eopylist.dat", 6),
                    ("message-file/missing-for-language", "install/fopylist.dat", 4),
                    ("copy-list/fallback", "install/eopylist.dat", 1),
                    ("message-file/product-version", "install/einstall.dat", 1)}
        if not expected <= found:
            fail("missing: %s among %s" % (expected - found, found))
        if schema_path:
            schema = json.loads(schema_path.read_text(encoding="utf-8-sig"))
            validate(log, pathlib.Path(temp) / "folder.sarif", schema, multitool)

        image = pathlib.Path(temp) / "broken.iso"
        made = shutil.which("xorriso") and subprocess.run(
            ["xorriso", "-as", "mkisofs", "-J", "-quiet", "-o", str(image), str(cd)],
            capture_output=True, check=False).returncode == 0
        if made:
            from_image = check_log(sarif(tool, "--source-root", str(cd), str(image)), cd, guide)
            # Only a pressed image must hold the programs at its root.
            from_image = {f for f in from_image if f[0] != "image/missing-root-file"}
            if from_image != found:
                fail("the image's findings are not the folder's: %s" % (from_image ^ found))


if __name__ == "__main__":
    main()
