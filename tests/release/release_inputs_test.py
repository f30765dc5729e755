#!/usr/bin/env python3
"""scripts/release refuses what cannot make a release before it builds
anything: above all the reserved .invalid download host of development
builds, in any form the download server setting takes.

Usage: release_inputs_test.py WORK-DIR"""
import os
import subprocess
import sys
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
RELEASE = os.path.join(ROOT, "scripts", "release")
WORK = sys.argv[1]


def release(*args):
    return subprocess.run([RELEASE, *args], capture_output=True, text=True)


class ReleaseInputs(unittest.TestCase):
    def assertRefused(self, args, message):
        result = release(*args)
        self.assertEqual(result.returncode, 2, result.stdout)
        self.assertEqual(result.stderr, f"release: {message}\n")

    def test_the_download_host_is_required(self):
        self.assertRefused((), "no download host: give the vendor's with --host")

    def test_the_invalid_domain_is_refused_in_every_form(self):
        for host in ("downloads.zephora.invalid", "DOWNLOADS.ZEPHORA.INVALID",
                     "downloads.zephora.invalid.", "downloads.zephora.invalid:8080",
                     "https://downloads.zephora.invalid", "https://downloads.zephora.invalid:8443",
                     "invalid"):
            with self.subTest(host=host):
                self.assertRefused(("--host", host), f"the download host '{host}' lies in the "
                                   "reserved .invalid domain, which never resolves; give the "
                                   "vendor's with --host")

    def test_hosts_of_every_form_pass_to_the_build(self):
        # Refused later, for the commit: the host itself was accepted.
        for host in ("downloads.example.com", "downloads.example.com:8080",
                     "https://downloads.example.com", "https://downloads.example.com:8443",
                     "invalid.example.com"):
            with self.subTest(host=host):
                self.assertRefused(("--host", host, "--commit", "no-such-commit"),
                                   "no such commit: no-such-commit")

    def test_other_refusals(self):
        cases = (
            (("--host", "a b"), "the download host 'a b' contains white space"),
            (("--host", "downloads.example.com", "--version", "1.2"),
             "version '1.2': expected MAJOR.MINOR.PATCH"),
            (("--host", "downloads.example.com", "--timestamp-url", "http://127.0.0.1:9/"),
             "--timestamp-url needs a signing key"),
            (("--check-reproducible", "--host", "downloads.example.com", "--cert", "c.pem",
              "--key", "k.pem"), "--check-reproducible compares unsigned builds; give it no key"),
        )
        for args, message in cases:
            with self.subTest(args=args):
                self.assertRefused(args, message)

    def test_package_keys_are_required_and_checked(self):
        not_a_key = os.path.join(WORK, "not-a-key.pub")
        os.makedirs(WORK, exist_ok=True)
        with open(not_a_key, "w") as f:
            f.write("untrusted comment: minisign public key 0\nRWQ=\n")
        host = ("--host", "downloads.example.com")
        cases = (
            (host, "no package key: give the vendor's minisign public key with --package-key "
                   "FILE.pub (see scripts/sign-package), or build a SETUP.EXE that installs "
                   "whatever the server sends with --unsigned-packages"),
            (host + ("--unsigned-packages", "--package-key", not_a_key),
             "--unsigned-packages and --package-key exclude each other"),
            (host + ("--package-key", "a.pub", "--package-key", "b.pub", "--package-key", "c.pub"),
             "at most two package keys (the current one and the next)"),
            (host + ("--package-key", "no-such.pub"), "no package key no-such.pub"),
            (host + ("--package-key", not_a_key),
             f"{not_a_key} is not a minisign public key (minisign -G makes one)"),
        )
        for args, message in cases:
            with self.subTest(args=args):
                self.assertRefused(args, message)

    def test_a_folder_the_release_did_not_make_is_left_alone(self):
        folder = os.path.join(WORK, "someone-elses")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "keep.txt"), "w") as f:
            f.write("mine\n")
        self.assertRefused(("--host", "downloads.example.com", "--unsigned-packages", "--work",
                            folder),
                           f"{folder} is not empty and was not made by a release; give another "
                           "with --work")
        self.assertTrue(os.path.exists(os.path.join(folder, "keep.txt")))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
