"""The README's winget manifest read against what it describes: its return
codes against the exit-status table, its nested installer against the
package zip of the package-zip target (ORVIK_E2E_PACKAGE_ZIP). No Wine:
test_unattended installs the zip with the manifest's switches.

winget's JSON schema for manifests is not checked here: no package of the
npm registry, the only one this build reaches, carries it offline."""

import os
import re
import unittest
import zipfile
from pathlib import Path

import yaml

README = Path(__file__).resolve().parents[2] / "README.md"

# winget's return responses, each with the exit status whose meaning it is.
RESPONSE_STATUS = {
    "installInProgress": "ERROR_INSTALL_ALREADY_RUNNING",
    "fileInUse": "ERROR_SHARING_VIOLATION",
    "diskFull": "ERROR_DISK_FULL",
    "insufficientMemory": "ERROR_NOT_ENOUGH_MEMORY",
    "invalidParameter": "ERROR_INVALID_PARAMETER",
    "rebootRequiredToFinish": "ERROR_SUCCESS_REBOOT_REQUIRED",
}


def readme_manifest():
    """The one installer of the README's singleton manifest, with the
    manifest's top-level fields under "manifest"."""
    blocks = re.findall(r"^```yaml\n(.*?)^```", README.read_text(), re.M | re.S)
    manifests = [yaml.safe_load(b) for b in blocks if "ManifestType: singleton" in b]
    if len(manifests) != 1:
        raise AssertionError(f"{README} holds {len(manifests)} singleton manifests, not one")
    (installer,) = manifests[0]["Installers"]
    return dict(installer, manifest=manifests[0])


def readme_exit_table():
    """{status: Windows name} of the README's exit-status table."""
    rows = re.findall(r"^\| (\d+) \| `(ERROR_[A-Z_]+)` \|", README.read_text(), re.M)
    return {int(status): name for status, name in rows}


def package_zip():
    path = os.environ.get("ORVIK_E2E_PACKAGE_ZIP")
    if not path or not Path(path).is_file():
        raise unittest.SkipTest("no package zip: build the target package-zip "
                                "(ORVIK_E2E_PACKAGE_ZIP)")
    return Path(path)


class ReadmeManifestTest(unittest.TestCase):
    def test_return_codes_are_exit_statuses_of_that_meaning(self):
        table = readme_exit_table()
        codes = {}
        for expected in readme_manifest()["ExpectedReturnCodes"]:
            code, response = expected["InstallerReturnCode"], expected["ReturnResponse"]
            with self.subTest(code=code):
                self.assertIn(response, RESPONSE_STATUS, "not a response of an exit status")
                self.assertEqual(table.get(code), RESPONSE_STATUS[response])
            codes[code] = response
        # The two a deployment must be able to retry.
        self.assertEqual((codes.get(1618), codes.get(32)), ("installInProgress", "fileInUse"))

    def test_nested_installer_and_its_source_are_in_the_zip(self):
        installer = readme_manifest()
        with zipfile.ZipFile(package_zip()) as package:
            names = set(package.namelist())
        self.assertEqual((installer["InstallerType"], installer["NestedInstallerType"]),
                         ("zip", "exe"))
        for nested in installer["NestedInstallerFiles"]:
            path = nested["RelativeFilePath"].replace("\\", "/")
            self.assertIn(path, names)
            # Beside it, the CD that it installs from.
            folder = path.rpartition("/")[0]
            self.assertIn((folder + "/" if folder else "") + "install/einstall.dat", names)


if __name__ == "__main__":
    unittest.main()
