#!/usr/bin/env python3
"""SETUP.EXE signed by scripts/sign with a throw-away CA: the signature
verifies against that CA and no other, the file still passes the import
check, still starts under Wine and still finds the catalogs appended to it.

Usage: signing_test.py SETUP.EXE UIDRIVER.EXE APPEND-CATALOGS.EXE OBJDUMP WORK-DIR"""
import importlib.machinery
import importlib.util
import os
import shutil
import subprocess
import sys
import unittest

from throwaway_pki import ThrowawayPki

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SCRIPTS = os.path.join(ROOT, "scripts")
WINE_RUN = os.path.join(SCRIPTS, "wine-run")


def load_script(name):
    loader = importlib.machinery.SourceFileLoader(name.replace("-", "_"),
                                                  os.path.join(SCRIPTS, name))
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader(loader.name, loader))
    loader.exec_module(module)
    return module


inspect_setup = load_script("inspect-setup")

SETUP, UIDRIVER, APPEND_CATALOGS, OBJDUMP, WORK = sys.argv[1:6]
# osslsigncode reaches the time-stamping server on loopback directly.
ENVIRONMENT = {k: v for k, v in os.environ.items() if not k.lower().endswith("_proxy")}


def run(*args, env=None):
    return subprocess.run(args, capture_output=True, text=True, env=env or ENVIRONMENT)


def sign(unsigned, signed, *key):
    result = run(os.path.join(SCRIPTS, "sign"), unsigned, signed, *key)
    if result.returncode != 0:
        raise AssertionError(f"sign failed: {result.stderr}")
    return signed


class SignedSetup(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(WORK, ignore_errors=True)
        cls.pki = ThrowawayPki(os.path.join(WORK, "pki"))
        cls.timestamp_url = cls.pki.start_time_stamping_server()
        cls.unsigned = cls.with_test_catalog(os.path.join(WORK, "unsigned.exe"))
        signed_folder = os.path.join(WORK, "signed")
        os.makedirs(signed_folder)
        # The wizard takes its title from its file name.
        cls.signed = sign(cls.unsigned, os.path.join(signed_folder, "SETUP.EXE"), "--pkcs12",
                          cls.pki.pkcs12, "--password-file", cls.pki.password_file,
                          "--timestamp-url", cls.timestamp_url)

    @classmethod
    def with_test_catalog(cls, path):
        """The build's SETUP.EXE with the test catalog "zz" appended in place
        of any catalogs the build appended."""
        with open(SETUP, "rb") as f:
            image = f.read()
        appended = image.find(inspect_setup.CATALOGS_BEGIN)
        with open(path, "wb") as f:
            f.write(image if appended < 0 else image[:appended])
        catalog = os.path.join(WORK, "zz.mo")
        subprocess.run(["msgfmt", "-o", catalog,
                        os.path.join(ROOT, "tests", "app", "catalog_zz.po")], check=True)
        subprocess.run([WINE_RUN, APPEND_CATALOGS, "Z:" + path,
                        "locale\\zz\\LC_MESSAGES\\default.mo=Z:" + catalog], check=True)
        return path

    def verify(self, path, ca):
        return run("osslsigncode", "verify", "-CAfile", ca, "-TSA-CAfile", self.pki.ca, "-in",
                   path)

    def test_signature_with_time_stamp_verifies_against_the_ca(self):
        result = self.verify(self.signed, self.pki.ca)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("Signature verification: ok", result.stdout)
        self.assertIn("Timestamp Server Signature verification: ok", result.stdout)
        self.assertIn("SHA256", result.stdout)

    def test_signature_from_pem_files_verifies_against_the_ca(self):
        signed = sign(self.unsigned, os.path.join(WORK, "signed-pem.exe"), "--cert",
                      self.pki.signer_cert, "--key", self.pki.signer_key)
        result = self.verify(signed, self.pki.ca)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("Signature verification: ok", result.stdout)

    def test_signature_does_not_verify_against_another_ca(self):
        result = self.verify(self.signed, self.pki.other_ca)
        self.assertNotEqual(result.returncode, 0, result.stdout)

    def test_signed_setup_imports_only_windows_dlls(self):
        result = run(os.path.join(SCRIPTS, "check-imports"), self.signed, OBJDUMP)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_signed_setup_keeps_its_version_and_catalogs(self):
        facts = run(os.path.join(SCRIPTS, "inspect-setup"), self.signed).stdout.splitlines()
        before = run(os.path.join(SCRIPTS, "inspect-setup"), self.unsigned).stdout.splitlines()
        self.assertEqual(facts, [line.replace("signed no", "signed yes") for line in before])
        self.assertIn("catalogs zz", facts)

    def test_signature_moved_onto_a_rebuild_gives_the_published_file(self):
        # How a vendor proves that a signed SETUP.EXE was built from a commit.
        signature = os.path.join(WORK, "signature.der")
        rebuilt = os.path.join(WORK, "rebuilt-and-signed.exe")
        for args in (("extract-signature", "-in", self.signed, "-out", signature),
                     ("attach-signature", "-sigin", signature, "-CAfile", self.pki.ca,
                      "-TSA-CAfile", self.pki.ca, "-in", self.unsigned, "-out", rebuilt)):
            result = run("osslsigncode", *args)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        with open(rebuilt, "rb") as a, open(self.signed, "rb") as b:
            self.assertTrue(a.read() == b.read(), "attached signature gives another file")

    def test_signed_setup_starts_and_speaks_its_appended_catalog(self):
        env = dict(ENVIRONMENT, LANG="zz")
        wizard = subprocess.Popen([WINE_RUN, self.signed], env=env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        try:
            driver = run(WINE_RUN, UIDRIVER, "wait-page", "Welkom bij het installatie programma ",
                         "click", "&Annuleer", "confirm", "escape", env=env)
        finally:
            run(WINE_RUN, "taskkill", "/F", "/IM", "SETUP.EXE")
            wizard.wait(timeout=60)
        self.assertEqual(driver.returncode, 0, driver.stdout + driver.stderr)
        self.assertIn("confirm [ATTENTION]: L'installation n'est pas terminée.\\r"
                      "Êtes-vous sûr ?", driver.stdout)


class SigningKeyCheck(unittest.TestCase):
    """scripts/sign --check, which a release runs before it builds anything."""

    @classmethod
    def setUpClass(cls):
        cls.pki = ThrowawayPki(os.path.join(WORK, "pki-check"))

    def check(self, *key):
        return run(os.path.join(SCRIPTS, "sign"), "--check", *key)

    def test_a_good_key_names_its_certificate(self):
        for key in (("--pkcs12", self.pki.pkcs12, "--password-file", self.pki.password_file),
                    ("--cert", self.pki.signer_cert, "--key", self.pki.signer_key)):
            result = self.check(*key)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn("subject=CN=Throw-away code signer\n"
                          "issuer=CN=Throw-away test CA\n", result.stdout)

    def test_refusals(self):
        pki = self.pki
        cases = (
            (("--pkcs12", pki.pkcs12, "--password-file", pki.wrong_password_file),
             f"sign: {pki.pkcs12} does not open with the password in {pki.wrong_password_file}"),
            (("--pkcs12", pki.pkcs12), "sign: --pkcs12 needs --password-file"),
            (("--cert", pki.signer_cert, "--key", pki.tsa_key),
             f"sign: {pki.tsa_key} is not the key of the certificate in {pki.signer_cert}"),
            (("--cert", pki.tsa_cert, "--key", pki.tsa_key),
             "sign: the certificate is not one for code signing; it is for: Time Stamping"),
            (("--cert", pki.signer_cert), "sign: no signing key: give --pkcs12 FILE or --cert "
             "FILE and --key FILE"),
            (("--cert", pki.signer_cert, "--key", "/nonexistent/key.pem"),
             "sign: cannot read /nonexistent/key.pem"),
        )
        for key, message in cases:
            with self.subTest(key=key):
                result = self.check(*key)
                self.assertEqual(result.returncode, 2)
                self.assertEqual(result.stderr, message + "\n")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
