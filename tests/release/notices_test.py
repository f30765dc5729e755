#!/usr/bin/env python3
"""scripts/third-party-notices on the linker map of this build's SETUP.EXE:
every library linked in has its licence text, and a library without a notice
fails the release.

Usage: notices_test.py SETUP.map WORK-DIR"""
import os
import shutil
import subprocess
import sys
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
NOTICES = os.path.join(ROOT, "scripts", "third-party-notices")
MAP, WORK = sys.argv[1:3]


def notices(map_file, *args):
    return subprocess.run([NOTICES, map_file, *args], capture_output=True, text=True)


def map_with(*archives):
    """The build's map with more archive members linked in."""
    with open(MAP) as f:
        first_line, rest = f.read().split("\n", 1)
    lines = "".join(f"{archive}(member.o)\n                              app.obj (symbol)\n"
                    for archive in archives)
    path = os.path.join(WORK, "doctored.map")
    with open(path, "w") as f:
        f.write(f"{first_line}\n\n{lines}{rest}")
    return path


class ThirdPartyNotices(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(WORK, ignore_errors=True)
        os.makedirs(WORK)
        cls.notices_file = os.path.join(WORK, "THIRD-PARTY-NOTICES.txt")
        cls.versions_file = os.path.join(WORK, "versions.txt")
        cls.result = notices(MAP, "--notices", cls.notices_file, "--versions", cls.versions_file)
        with open(cls.notices_file, encoding="utf-8") as f:
            cls.text = f.read()

    def test_every_library_of_setup_has_its_licence_text(self):
        self.assertEqual(self.result.returncode, 0, self.result.stderr)
        self.assertEqual(self.result.stdout.splitlines(), [
            "bzip2 (libbz2)", "liblzma, from XZ Utils", "WavPack",
            "ISA-L, the Intelligent Storage Acceleration Library (inflate and CRC-32)",
            "libsodium (the check of the vendor's package signatures)",
            "MinGW-w64 runtime, import libraries and winpthreads",
            "libstdc++ and libgcc, under the GCC Runtime Library Exception"])
        # A line of each licence, as its source has it.
        for excerpt in (
                "This program, \"bzip2\", the associated library \"libbzip2\", and all",
                "- liblzma is in the public domain.",
                "Copyright (c) 1998 - 2022 David Bryant",  # WavPack
                "Copyright(c) 2011-2017 Intel Corporation All rights reserved.",  # ISA-L
                " * ISC License\n *\n * Copyright (c) 2013-",  # libsodium
                "Files: mingw-w64-libraries/winpthreads/*",
                "License: ZPL-2.1",  # MinGW-w64 runtime
                "GCC RUNTIME LIBRARY EXCEPTION\n\nVersion 3.1, 31 March 2009",
                "GNU GENERAL PUBLIC LICENSE\n                       Version 3, 29 June 2007"):
            with self.subTest(excerpt=excerpt):
                self.assertIn(excerpt, self.text)

    def test_versions_name_the_sources(self):
        with open(self.versions_file) as f:
            versions = f.read()
        self.assertRegex(versions, r"liblzma, from XZ Utils: Debian source package xz-utils "
                         r"5\.4\.\S+, built by scripts/bootstrap\n")
        self.assertRegex(versions, r"ISA-L, the Intelligent Storage Acceleration Library "
                         r"\(inflate and CRC-32\): Debian source package libisal 2\.30\.\S+, "
                         r"built by scripts/bootstrap\n")
        self.assertRegex(versions, r"libsodium \(the check of the vendor's package signatures\): "
                         r"Debian source package libsodium 1\.0\.18\S*, built by scripts/bootstrap\n")

    def test_notices_hold_no_build_path(self):
        self.assertNotIn(os.path.dirname(os.path.dirname(MAP)), self.text)
        self.assertNotIn(ROOT, self.text)

    def test_library_of_a_package_without_notice_fails(self):
        # Debian's zlib for Linux: a package that has no entry.
        result = notices(map_with("/usr/lib/x86_64-linux-gnu/libz.a"))
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr,
                         "third-party-notices: linked in, but without a notice (add it to "
                         "COMPONENTS in scripts/third-party-notices):\n"
                         "  /usr/lib/x86_64-linux-gnu/libz.a (from the Debian package "
                         "zlib1g-dev)\n")

    def test_library_of_no_package_fails(self):
        stray = os.path.join(WORK, "libstray.a")
        open(stray, "w").close()
        result = notices(map_with(stray))
        self.assertEqual(result.returncode, 1)
        self.assertIn(f"  {stray} (from no Debian package)\n", result.stderr)

    def test_codec_library_without_kept_licence_fails(self):
        prefix = os.path.join(WORK, "mingw-deps")
        os.makedirs(os.path.join(prefix, "lib"), exist_ok=True)
        for name, title, source in (
                ("liblzma.a", "liblzma, from XZ Utils", "xz-utils"),
                ("libisal.a", "ISA-L, the Intelligent Storage Acceleration Library "
                              "(inflate and CRC-32)", "libisal")):
            with self.subTest(library=name):
                archive = os.path.join(prefix, "lib", name)
                open(archive, "w").close()
                result = notices(map_with(archive))
                self.assertEqual(result.returncode, 1)
                self.assertEqual(result.stderr,
                                 f"third-party-notices: {title}: scripts/bootstrap kept "
                                 f"no licence files in {prefix}/share/third-party/{source}\n")

    def test_map_without_libraries_fails(self):
        empty = os.path.join(WORK, "empty.map")
        open(empty, "w").close()
        result = notices(empty)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr,
                         f"third-party-notices: {empty}: names no linked library\n")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
