#!/usr/bin/env python3
"""Checks every catalog locale/<language>.po against the message template:
msgfmt accepts it with --check, every template entry is translated (every
form of a text with a plural) and none is fuzzy, its header names its
language, its plural forms and UTF-8, its line breaks follow the translation
layer's rules, the access keys of each dialog's buttons stay apart, every
translation has the placeholders of its source text, none wider than the
formatting routine allows, its plural rule chooses the forms the language
has for every count from 0 to 200, and its typography is the language's:
French has no straight apostrophe and a no-break space before : ; ? ! and
inside « », German no straight double quote.

Usage: check_catalogs.py LOCALE-FOLDER"""
import gettext
import pathlib
import re
import subprocess
import sys

# The buttons that share a dialog: their access keys must differ.
DIALOGS = [["&Yes", "&No"], ["OK"]]

# The formatting routine (i18n/format.h, kLargestFormatWidth) counts a width
# or precision only up to this.
LARGEST_FORMAT_WIDTH = 64
# A directive as the formatting routine reads it: "%%", or "%", an optional
# "-", a width, an optional precision and the kind, which may be missing or
# one the routine does not know.
DIRECTIVE = re.compile(r"%(?:%|-?(\d*)(?:\.(\d*))?(.?))", re.S)

# The plural forms each language has: the form a count takes. A catalog's
# Plural-Forms rule must choose the same for every count checked.
KNOWN_PLURALS = {
    "nl": lambda n: 0 if n == 1 else 1,
    "en": lambda n: 0 if n == 1 else 1,
    "de": lambda n: 0 if n == 1 else 1,
    "fr": lambda n: 0 if n <= 1 else 1,  # zero takes the singular in French
}
COUNTS_CHECKED = range(0, 201)

# French sets these apart from the word before them with a no-break space
# (U+00A0, or the narrow U+202F); an ordinary space may break the line before
# them. A colon that starts "//" belongs to a web address.
NO_BREAK_SPACES = "\u00a0\u202f"
FRENCH_SPACED_BEFORE = re.compile(rf"(?<![{NO_BREAK_SPACES}])([:;?!»])(?!//)")
FRENCH_SPACED_AFTER = re.compile(rf"(«)(?![{NO_BREAK_SPACES}])")

failures = []


def fail(catalog, message):
    failures.append(f"{catalog.name}: {message}")


def unquote(text):
    return re.sub(r'\\(.)', lambda m: {"n": "\n", "t": "\t", "r": "\r"}.get(m[1], m[1]), text)


def read_po(path):
    """The entries of a PO file as dicts of msgid, msgstr and flags, obsolete
    ones left out; an entry with a plural also has msgid_plural and its forms
    (msgstr[0], msgstr[1], ...) in "forms", and msgstr is then its first form."""
    entries, current, field, flags = [], None, None, set()
    for line in path.read_text(encoding="utf-8").splitlines() + [""]:
        if line.startswith("#~"):
            continue
        if line.startswith("#,"):
            flags |= {flag.strip() for flag in line[2:].split(",")}
        keyword = re.match(r'(msgid|msgid_plural|msgstr)(?:\[(\d+)\])? "(.*)"$', line)
        if keyword:
            if keyword[1] == "msgid":
                if current:
                    entries.append(current)
                current = {"msgid": "", "msgstr": "", "flags": flags}
                flags = set()
            if keyword[2] is None:
                field = keyword[1]
                current[field] = current.get(field, "") + unquote(keyword[3])
            else:
                field = len(current.setdefault("forms", []))
                current["forms"].append(unquote(keyword[3]))
        elif line.startswith('"') and current:
            if isinstance(field, int):
                current["forms"][field] += unquote(line[1:-1])
            else:
                current[field] += unquote(line[1:-1])
    if current:
        entries.append(current)
    for entry in entries:
        if "forms" in entry:
            entry["msgstr"] = entry["forms"][0]
    return entries


def access_key(text):
    keys = re.findall(r"&(.)", text.replace("&&", ""))
    return keys[0].lower() if len(keys) == 1 else None


def placeholders(text):
    """The directives of a text as (kind, width, precision), "%%" left out."""
    return [(m[3], int(m[1] or 0), int(m[2] or 0)) for m in DIRECTIVE.finditer(text)
            if m[0] != "%%"]


def check_placeholders(catalog, pairs):
    """Each translation (each form of a plural one) formats its arguments as its
    source text does: the same kinds in the same order, and no width or
    precision beyond the routine's cap (msgfmt --check accepts %.99999999999d)."""
    for msgid, msgstr in pairs:
        source, translated = placeholders(msgid), placeholders(msgstr)
        if [p[0] for p in translated] != [p[0] for p in source]:
            fail(catalog, f"{msgid!r}: {msgstr!r} has other placeholders than its source")
        for kind, width, precision in translated:
            if max(width, precision) > LARGEST_FORMAT_WIDTH:
                fail(catalog, f"{msgid!r}: {msgstr!r} asks for more than "
                     f"{LARGEST_FORMAT_WIDTH} characters in a %{kind}")


def check_plural_rule(catalog, language, plural_forms):
    known = KNOWN_PLURALS.get(language)
    if known is None:
        fail(catalog, f"no known plural forms for {language!r}: add them to KNOWN_PLURALS")
        return
    rule = re.search(r"plural\s*=\s*([^;]+)", plural_forms)
    count = re.search(r"nplurals\s*=\s*(\d+)", plural_forms)
    if not rule or not count:
        return  # the header check has said so
    try:
        choose = gettext.c2py(rule[1].strip())
    except (ValueError, SyntaxError):
        fail(catalog, f"Plural-Forms rule {rule[1].strip()!r} cannot be read")
        return
    if int(count[1]) != max(known(n) for n in COUNTS_CHECKED) + 1:
        fail(catalog, f"Plural-Forms says nplurals={count[1]}, but {language} has "
             f"{max(known(n) for n in COUNTS_CHECKED) + 1} forms")
    for n in COUNTS_CHECKED:
        if choose(n) != known(n):
            fail(catalog, f"Plural-Forms rule {rule[1].strip()!r} gives form {choose(n)} for "
                 f"n = {n}, where {language} uses form {known(n)}")
            return


def check_typography(catalog, language, pairs):
    """The language's own punctuation in every translation (each form of a
    plural one); the source texts are not the translator's to mend."""
    for msgid, msgstr in pairs:
        if language == "fr":
            if "'" in msgstr:
                fail(catalog, f"{msgid!r}: {msgstr!r} has a straight apostrophe, not ’")
            for mark in FRENCH_SPACED_BEFORE.finditer(msgstr):
                fail(catalog, f"{msgid!r}: {msgstr!r} lacks a no-break space before {mark[1]!r}")
            for mark in FRENCH_SPACED_AFTER.finditer(msgstr):
                fail(catalog, f"{msgid!r}: {msgstr!r} lacks a no-break space after {mark[1]!r}")
        elif language == "de":
            if '"' in msgstr:
                fail(catalog, f"{msgid!r}: {msgstr!r} has a straight double quote, not „ “")


def check(catalog, template):
    checked = subprocess.run(["msgfmt", "--check", "--statistics", "-o", "/dev/null", catalog],
                             capture_output=True, text=True)
    statistics = checked.stderr.strip().splitlines()[-1] if checked.stderr.strip() else ""
    print(f"{catalog.name}: {statistics}")
    if checked.returncode != 0:
        fail(catalog, "msgfmt --check refuses it:\n" + checked.stderr)
    if not re.fullmatch(r"\d+ translated messages?\.", statistics):
        fail(catalog, f"not complete: {statistics}")
    compared = subprocess.run(["msgcmp", catalog, template], capture_output=True, text=True)
    if compared.returncode != 0:
        fail(catalog, "lacks translations of the template's entries:\n" + compared.stderr)

    entries = read_po(catalog)
    header = next((e["msgstr"] for e in entries if e["msgid"] == ""), "")
    fields = dict(line.split(": ", 1) for line in header.splitlines() if ": " in line)
    if fields.get("Language") != catalog.stem:
        fail(catalog, f"header says Language: {fields.get('Language')}, not {catalog.stem}")
    if not fields.get("Plural-Forms", "").startswith("nplurals="):
        fail(catalog, "header lacks Plural-Forms")
    if "charset=UTF-8" not in fields.get("Content-Type", ""):
        fail(catalog, "header does not declare charset=UTF-8")

    translations = {e["msgid"]: e["msgstr"] for e in entries if e["msgid"] and "fuzzy" not in e["flags"]}
    for msgid, msgstr in translations.items():
        # The layer drops every carriage return from what it looks up and puts
        # one before every line feed of what it returns.
        if "\r" in msgstr:
            fail(catalog, f"{msgid!r}: a translation holds no carriage return")
        if msgstr.count("\n") != msgid.count("\n"):
            fail(catalog, f"{msgid!r}: {msgstr!r} breaks the lines differently")
    plural_count = re.search(r"nplurals\s*=\s*(\d+)", fields.get("Plural-Forms", ""))
    for entry in entries:
        if "msgid_plural" not in entry or "fuzzy" in entry["flags"]:
            continue
        forms = entry["forms"]
        # msgfmt counts an entry as translated when its first form is.
        if plural_count and len(forms) != int(plural_count[1]):
            fail(catalog, f"{entry['msgid']!r}: {len(forms)} forms, not {plural_count[1]}")
        for number, form in enumerate(forms):
            source = entry["msgid"] if number == 0 else entry["msgid_plural"]
            if not form:
                fail(catalog, f"{entry['msgid']!r}: form {number} is not translated")
            elif "\r" in form or form.count("\n") != source.count("\n"):
                fail(catalog, f"{entry['msgid']!r}: form {number} breaks the lines differently")
    pairs = []
    for entry in entries:
        if not entry["msgid"] or "fuzzy" in entry["flags"]:
            continue
        if "msgid_plural" in entry:
            pairs += [(entry["msgid"] if number == 0 else entry["msgid_plural"], form)
                      for number, form in enumerate(entry["forms"])]
        else:
            pairs.append((entry["msgid"], entry["msgstr"]))
    check_placeholders(catalog, pairs)
    check_typography(catalog, catalog.stem, pairs)
    check_plural_rule(catalog, catalog.stem, fields.get("Plural-Forms", ""))
    for buttons in DIALOGS:
        keys = [access_key(translations.get(b, "")) for b in buttons if "&" in b]
        if None in keys or len(set(keys)) != len(keys):
            fail(catalog, "access keys of " + " / ".join(translations.get(b, b) for b in buttons)
                 + " are missing or shared")


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    folder = pathlib.Path(sys.argv[1])
    template = folder / "default.pot"
    catalogs = sorted(folder.glob("*.po"))
    if not catalogs:
        failures.append(f"no catalogs in {folder}")
    for catalog in catalogs:
        check(catalog, template)
    for failure in failures:
        print(failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
