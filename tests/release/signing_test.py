#!/usr/bin/env python3
"""This build's SETUP.EXE, with the catalogs its build appended, signed by
scripts/sign with a throw-away CA as a release signs it: the signature
verifies against that CA and no other, the file still passes the import
check, still starts under Wine and still speaks the catalogs appended to it.

Usage: signing_test.py SETUP.EXE UIDRIVER.EXE CATALOG-FOLDER OBJDUMP WORK-DIR"""
import gettext
import os
import shutil
import subprocess
import sys
import unittest

from throwaway_pki import ThrowawayPki

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SCRIPTS = os.path.join(ROOT, "scripts")
WINE_RUN = os.path.join(SCRIPTS, "wine-run")

SETUP, UIDRIVER, CATALOGS, OBJDUMP, WORK = sys.argv[1:6]
# osslsigncode reaches the time-stamping server on loopback directly.
ENVIRONMENT = {k: v for k, v in os.environ.items() if not k.lower().endswith("_proxy")}


def run(*args, env=None):
    return subprocess.run(args, capture_output=True, encoding="utf-8", env=env or ENVIRONMENT)


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
        cls.unsigned = SETUP
        signed_folder = os.path.join(WORK, "signed")
        os.makedirs(signed_folder)
        # The wizard takes its title from its file name.
        cls.signed = sign(cls.unsigned, os.path.join(signed_folder, "SETUP.EXE"), "--pkcs12",
                          cls.pki.pkcs12, "--password-file", cls.pki.password_file,
                          "--timestamp-url", cls.timestamp_url)

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
        self.assertIn("fr", next(line for line in facts if line.startswith("catalogs ")).split())

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
        with open(os.path.join(CATALOGS, "fr", "LC_MESSAGES", "default.mo"), "rb") as f:
            french = gettext.GNUTranslations(f).gettext
        env = dict(ENVIRONMENT, LANG="fr_BE")
        wizard = subprocess.Popen([WINE_RUN, self.signed], env=env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        try:
            driver = run(WINE_RUN, UIDRIVER, "wait-page", "Start",
                         "click", "&Annuleer", "confirm", "yes", "click", "Voltooien",
                         "wait-closed", env=env)
        finally:
            try:
                wizard.wait(timeout=10)
            except subprocess.TimeoutExpired:
                run(WINE_RUN, "taskkill", "/F", "/IM", "SETUP.EXE")
                wizard.wait(timeout=60)
        self.assertEqual(driver.returncode, 0, driver.stdout + driver.stderr)
        self.assertIn(f"confirm [{french('WAARSCHUWING')}]: "
                      f"{french('De installatie is niet voltooid.')}\\r{french('Bent u zeker ?')}",
                      driver.stdout)
        self.assertNotIn("WAARSCHUWING", driver.stdout)


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
