#!/usr/bin/env python3
"""check_catalogs.py refuses a catalog whose translation formats its
arguments otherwise than its source text, or asks the formatting routine for
more digits than it gives, whose typography is not its language's, or whose
plural rule chooses other forms than its language has. Each case is the Dutch catalog with one
translation changed, as a translator's slip would leave it; msgfmt --check
accepts every one of them. It compares placeholders only in entries flagged
c-format, so the cases of other placeholders drop that flag, as a catalog
edited by hand or by a tool that loses flags would.

Usage: check_catalogs_test.py WORK-DIR"""
import pathlib
import shutil
import subprocess
import sys
import unittest

HERE = pathlib.Path(__file__).resolve().parent
LOCALE = HERE.parent.parent / "locale"
CHECKER = HERE / "check_catalogs.py"
WORK = pathlib.Path(sys.argv[1])

SOCKET_ERROR = 'msgstr ""\n"Netwerkfout nr. %d\\n"\n"%s"\n'
PLURAL_FORM_0 = 'msgstr[0] "Kan %d bestand niet uitpakken: %s"\n'
PLURAL_FLAGGED = '#, c-format\nmsgid "Could not extract %d file: %s"\n'
FLAGGED = '#, c-format\nmsgid ""\n"Socket Error # %d\\n"\n"%s"\n'


class Placeholders(unittest.TestCase):
    def check(self, replacement, flagged=True, plural_form_0=None):
        """The checker's exit code and error output for nl.po with the
        translation of "Socket Error # %d\\n%s" replaced, and its c-format
        flag dropped unless `flagged`; with `plural_form_0`, the first form of
        the unpack failure message replaced too and its c-format flag dropped."""
        folder = WORK / self.id().rsplit(".", 1)[-1]
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
        shutil.copy(LOCALE / "default.pot", folder)
        text = (LOCALE / "nl.po").read_text(encoding="utf-8")
        self.assertIn(SOCKET_ERROR, text)
        self.assertIn(FLAGGED, text)
        if not flagged:
            text = text.replace(FLAGGED, FLAGGED.replace("#, c-format\n", ""))
        if plural_form_0 is not None:
            self.assertIn(PLURAL_FORM_0, text)
            self.assertIn(PLURAL_FLAGGED, text)
            text = text.replace(PLURAL_FORM_0, "msgstr[0] " + plural_form_0 + "\n")
            text = text.replace(PLURAL_FLAGGED, PLURAL_FLAGGED.replace("#, c-format\n", ""))
        (folder / "nl.po").write_text(text.replace(SOCKET_ERROR, replacement), encoding="utf-8")
        accepted = subprocess.run(["msgfmt", "--check", "-o", "/dev/null", folder / "nl.po"],
                                  capture_output=True, text=True)
        self.assertEqual(accepted.returncode, 0, accepted.stderr)
        result = subprocess.run([sys.executable, CHECKER, folder], capture_output=True, text=True)
        return result.returncode, result.stderr

    def test_the_catalog_as_it_is_passes(self):
        self.assertEqual(self.check(SOCKET_ERROR), (0, ""))

    def test_a_precision_beyond_the_cap_fails(self):
        code, errors = self.check('msgstr ""\n"Netwerkfout nr. %.99999999999d\\n"\n"%s"\n')
        self.assertEqual(code, 1)
        self.assertEqual(errors, "nl.po: 'Socket Error # %d\\n%s': "
                         "'Netwerkfout nr. %.99999999999d\\n%s' asks for more than 64 "
                         "characters in a %d\n")

    def test_a_width_beyond_the_cap_fails(self):
        code, errors = self.check('msgstr ""\n"Netwerkfout nr. %d\\n"\n"%65s"\n')
        self.assertEqual(code, 1)
        self.assertIn("asks for more than 64 characters in a %s", errors)

    def test_width_and_precision_up_to_the_cap_pass(self):
        self.assertEqual(self.check('msgstr ""\n"Netwerkfout nr. %-64.64d\\n"\n"%64s"\n'), (0, ""))

    def test_placeholders_in_another_order_fail(self):
        code, errors = self.check('msgstr ""\n"%s\\n"\n"Netwerkfout nr. %d"\n', flagged=False)
        self.assertEqual(code, 1)
        self.assertEqual(errors, "nl.po: 'Socket Error # %d\\n%s': "
                         "'%s\\nNetwerkfout nr. %d' has other placeholders than its source\n")

    def test_a_missing_placeholder_fails(self):
        code, errors = self.check('msgstr ""\n"Netwerkfout\\n"\n"%s"\n', flagged=False)
        self.assertEqual(code, 1)
        self.assertIn("has other placeholders than its source", errors)

    def test_another_kind_fails(self):
        code, errors = self.check('msgstr ""\n"Netwerkfout nr. %x\\n"\n"%s"\n', flagged=False)
        self.assertEqual(code, 1)
        self.assertIn("has other placeholders than its source", errors)

    def test_a_plural_form_that_drops_the_count_fails(self):
        # The formatting routine takes its arguments in order: "%s" would get
        # the count.
        code, errors = self.check(SOCKET_ERROR, plural_form_0='"Kan een bestand niet uitpakken: %s"')
        self.assertEqual(code, 1)
        self.assertEqual(errors, "nl.po: 'Could not extract %d file: %s': "
                         "'Kan een bestand niet uitpakken: %s' has other placeholders than its source\n")


class Typography(unittest.TestCase):
    """A real catalog with one slip a native reader would have to catch, each
    accepted by msgfmt --check."""

    def check(self, language, old, new):
        folder = WORK / self.id().rsplit(".", 1)[-1]
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
        shutil.copy(LOCALE / "default.pot", folder)
        text = (LOCALE / f"{language}.po").read_text(encoding="utf-8")
        self.assertEqual(text.count(old), 1, old)
        (folder / f"{language}.po").write_text(text.replace(old, new), encoding="utf-8")
        accepted = subprocess.run(["msgfmt", "--check", "-o", "/dev/null",
                                   folder / f"{language}.po"], capture_output=True, text=True)
        self.assertEqual(accepted.returncode, 0, accepted.stderr)
        result = subprocess.run([sys.executable, CHECKER, folder], capture_output=True, text=True)
        return result.returncode, result.stderr

    def test_the_catalogs_as_they_are_pass(self):
        for language in ("fr", "de", "en"):
            self.assertEqual(self.check(language, "Language: ", "Language: "), (0, ""))

    def test_a_straight_apostrophe_in_french_fails(self):
        self.assertEqual(
            self.check("fr", "annuler l’installation", "annuler l'installation"),
            (1, "fr.po: 'Bent u zeker ?': \"Voulez-vous vraiment annuler "
                "l'installation\\xa0?\" has a straight apostrophe, not ’\n"))

    def test_an_ordinary_space_before_a_french_question_mark_fails(self):
        self.assertEqual(
            self.check("fr", "annuler l’installation\u00a0?", "annuler l’installation ?"),
            (1, "fr.po: 'Bent u zeker ?': 'Voulez-vous vraiment annuler l’installation ?' "
                "lacks a no-break space before '?'\n"))

    def test_an_ordinary_space_before_a_french_colon_fails(self):
        code, errors = self.check("fr", "non valide\u00a0: %d", "non valide : %d")
        self.assertEqual(code, 1)
        self.assertEqual(errors, "fr.po: 'Invalid proxy port: %d': 'Port du serveur proxy non "
                         "valide : %d' lacks a no-break space before ':'\n")

    def test_ordinary_spaces_inside_french_quotes_fail(self):
        code, errors = self.check("fr", "le raccourci «\u00a0%s\u00a0»", "le raccourci « %s »")
        self.assertEqual(code, 1)
        self.assertIn("lacks a no-break space after '«'", errors)
        self.assertIn("lacks a no-break space before '»'", errors)

    def test_a_straight_double_quote_in_german_fails(self):
        code, errors = self.check("de", "Die Datei „%s“ kann nicht erstellt",
                                  'Die Datei \\"%s\\" kann nicht erstellt')
        self.assertEqual(code, 1)
        self.assertEqual(errors, "de.po: 'Cannot create file \"%s\". %s': 'Die Datei \"%s\" "
                         "kann nicht erstellt werden. %s' has a straight double quote, not „ “\n")

    def test_a_plural_rule_of_another_language_fails(self):
        # French puts zero in the singular; Dutch does not.
        self.assertEqual(
            self.check("nl", "plural=(n != 1);", "plural=(n > 1);"),
            (1, "nl.po: Plural-Forms rule '(n > 1)' gives form 0 for n = 0, "
                "where nl uses form 1\n"))
        self.assertEqual(
            self.check("fr", "plural=(n > 1);", "plural=(n != 1);"),
            (1, "fr.po: Plural-Forms rule '(n != 1)' gives form 1 for n = 0, "
                "where fr uses form 0\n"))

    def test_a_plural_rule_wrong_only_past_one_hundred_fails(self):
        code, errors = self.check("de", "plural=(n != 1);", "plural=(n % 100 != 1);")
        self.assertEqual(code, 1)
        self.assertEqual(errors, "de.po: Plural-Forms rule '(n % 100 != 1)' gives form 0 for "
                         "n = 101, where de uses form 1\n")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
