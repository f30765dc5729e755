#!/usr/bin/env python3
"""Builds the archives the extractor is tested on, with real tools (Info-ZIP
zip, 7z, Python's zipfile and a raw writer for the damaged and unusual
cases), and the reference output of every entry from unzip, 7z or wvunpack.

usage: make_fixtures.py OUTPUT_DIR REAL_ARCHIVES_DIR
"""
import os
import random
import shutil
import struct
import subprocess
import sys
import zipfile
import zlib

OUT, REAL = sys.argv[1], sys.argv[2]
if not os.path.isdir(REAL):
    sys.exit("make_fixtures.py: no folder of real archives at %s (set ZEPHORA_TESTDATA_DIR)" % REAL)
SUPPORTED = {0, 1, 2, 3, 4, 5, 6, 8, 9, 12, 14, 97, 98}
# The tools match entry names in the locale's encoding.
TOOL_ENV = dict(os.environ, LC_ALL="C.UTF-8")


def run(*args, cwd=None):
    subprocess.run(args, cwd=cwd, check=True, stdout=subprocess.DEVNULL)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


# ---- input files for the tool-made archives
def make_inputs(folder):
    rng = random.Random(5)
    words = b"lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod".split()
    text = b" ".join(rng.choice(words) for _ in range(60000))
    files = {
        "text.txt": text,
        "random.bin": bytes(rng.getrandbits(8) for _ in range(200000)),
        "zeros.bin": bytes(300000),
        "tail-hole.bin": b"head" + bytes(3 * 65536 - 4),
        "small.txt": b"small file\n",
        "empty.txt": b"",
        "sub/inner.txt": b"inner " * 1000,
    }
    for name, data in files.items():
        write(os.path.join(folder, name), data)
    return sorted(files)


# ---- a raw writer, for the archives no tool would write
def dos_stamp(year=2021, month=6, day=15, hour=13, minute=45, second=30):
    return (hour << 11) | (minute << 5) | (second // 2), ((year - 1980) << 9) | (month << 5) | day


def raw_zip(entries, comment=b"", prefix=b"", cd_offset_delta=0, disk=0, zip64_needed=False):
    """entries: dicts with name (bytes), data (stored bytes as written), and
    optional method, crc, usize, csize (declared), flags, extra, comment,
    time, date, made_by, attr, needed, at (the index of an earlier entry
    whose local header this one shares, or ("offset", n) for any offset; no
    local header is written for it)."""
    body = bytearray(prefix)
    central = bytearray()
    offsets = []
    for e in entries:
        data = e.get("data", b"")
        usize = e.get("usize", len(data))
        crc = e.get("crc", zlib.crc32(e.get("plain", data)))
        time, date = e.get("time"), e.get("date")
        if time is None:
            time, date = dos_stamp()
        at = e.get("at")
        offset = len(body) if at is None else at[1] if isinstance(at, tuple) else offsets[at]
        offsets.append(offset)
        fields = (e.get("needed", 20), e.get("flags", 0), e.get("method", 0), time, date, crc,
                  e.get("csize", len(data)), usize)
        if at is None:
            body += struct.pack("<IHHHHHIIIHH", 0x04034B50, *fields, len(e["name"]), 0)
            body += e["name"] + data
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, e.get("made_by", 0x0014),
                               *fields, len(e["name"]), len(e.get("extra", b"")),
                               len(e.get("comment", b"")), 0, 0, e.get("attr", 0x20), offset)
        central += e["name"] + e.get("extra", b"") + e.get("comment", b"")
    cd_offset = len(body)
    count = len(entries)
    offset_field = 0xFFFFFFFF if zip64_needed else cd_offset + cd_offset_delta
    end = struct.pack("<IHHHHIIH", 0x06054B50, disk, disk, count, count, len(central),
                      offset_field, len(comment))
    return bytes(body + central + end + comment)


def stored(name, data, **kw):
    e = {"name": name, "data": data}
    e.update(kw)
    return e


def deflated(name, plain, **kw):
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    e = {"name": name, "data": c.compress(plain) + c.flush(), "plain": plain, "usize": len(plain),
         "method": 8}
    e.update(kw)
    return e


def unicode_path_field(raw_name, utf8, crc=None):
    crc = zlib.crc32(raw_name) if crc is None else crc
    data = b"\x01" + struct.pack("<I", crc) + utf8
    return struct.pack("<HH", 0x7075, len(data)) + data


def nucx_field(text):
    chars = text.encode("utf-16-le")
    data = b"NUCX" + struct.pack("<HH", len(text), 0) + chars
    return struct.pack("<HH", 0x554E, len(data)) + data


def wav_file(channels, bits, frames, rate=22050, trailer=True, seed=1):
    rng = random.Random(seed)
    width = bits // 8
    samples = bytearray()
    for i in range(frames):
        for ch in range(channels):
            level = int((1 << (bits - 2)) * ((i * (ch + 3)) % 200 - 100) / 100) + rng.randint(-50, 50)
            if bits == 8:
                samples.append((level + 128) & 0xFF)
            else:
                samples += (level & ((1 << bits) - 1)).to_bytes(width, "little")
    if channels > 2:
        fmt = struct.pack("<HHIIHHHHIH14s", 0xFFFE, channels, rate, rate * channels * width,
                          channels * width, bits, 22, bits, (1 << channels) - 1, 1,
                          b"\x00\x00\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71")
    else:
        fmt = struct.pack("<HHIIHH", 1, channels, rate, rate * channels * width, channels * width,
                          bits)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
    body += b"data" + struct.pack("<I", len(samples)) + bytes(samples)
    if len(samples) % 2:
        body += b"\x00"
    if trailer:
        info = b"INFOISFT" + struct.pack("<I", 8) + b"fixture\x00"
        body += b"LIST" + struct.pack("<I", len(info)) + info
    return b"RIFF" + struct.pack("<I", len(body)) + body


def wavpack_archive(path, scratch):
    """Method 97 entries: the WavPack stream of each WAV file, made by the
    wavpack tool, stored as ZIP entry data."""
    os.makedirs(scratch, exist_ok=True)
    entries = []
    for name, wav in (("mono8.wav", wav_file(1, 8, 3001)),
                      ("stereo16.wav", wav_file(2, 16, 30000, trailer=False)),
                      ("surround24.wav", wav_file(3, 24, 9000)),
                      ("long16.wav", wav_file(2, 16, 200000, rate=44100))):
        source = os.path.join(scratch, name)
        write(source, wav)
        run("wavpack", "-q", "-y", source, "-o", source + ".wv")
        with open(source + ".wv", "rb") as f:
            entries.append({"name": name.encode(), "data": f.read(), "plain": wav,
                            "usize": len(wav), "method": 97, "needed": 63})
    write(path, raw_zip(entries))


def crafted(folder):
    c = lambda name, blob: write(os.path.join(folder, name), blob)
    c("dup-folder-first.zip", raw_zip([stored(b"docs/readme.txt", b"from docs\n"),
                                       stored(b"readme.txt", b"from root\n")]))
    c("dup-root-first.zip", raw_zip([stored(b"readme.txt", b"from root\n"),
                                     stored(b"docs/readme.txt", b"from docs\n")]))
    c("traversal.zip", raw_zip([stored(b"../../x.dll", b"x"), stored(b"C:y.dll", b"y"),
                                stored(b"D:\\dir\\z.dll", b"z"), stored(b"/abs/w.dll", b"w")]))
    c("encrypted.zip", raw_zip([stored(b"keep.txt", b"\x00" * 12 + b"secret", flags=1,
                                       usize=6, crc=zlib.crc32(b"secret")),
                                stored(b"fine.txt", b"fine")]))
    c("method7.zip", raw_zip([stored(b"keep.txt", b"tokenized", method=7),
                              stored(b"fine.txt", b"fine")]))
    c("wrong-crc.zip", raw_zip([stored(b"keep.txt", b"decoded data", crc=0x12345678),
                                deflated(b"fine.txt", b"fine " * 100)]))
    c("damaged-deflate.zip", raw_zip([stored(b"keep.txt", b"\xff\xff\xff\xff", method=8, usize=50,
                                             crc=0)]))
    t, d = dos_stamp()
    c("invalid-dates.zip", raw_zip([stored(b"month13.txt", b"a", date=(41 << 9) | (13 << 5) | 1,
                                           time=t),
                                    stored(b"feb30.txt", b"b", date=(41 << 9) | (2 << 5) | 30,
                                           time=t),
                                    stored(b"day0.txt", b"c", date=(41 << 9) | (5 << 5), time=t),
                                    stored(b"hour25.txt", b"d", date=d, time=25 << 11),
                                    stored(b"readonly-feb30.txt", b"e", attr=0x01,
                                           date=(41 << 9) | (2 << 5) | 30, time=t)]))
    c("unicode-fields.zip", raw_zip([
        stored(b"caf\x82.txt", b"oem"),  # code page 437: e acute
        stored(b"na\xefve.txt", b"utf8 path field",
               extra=unicode_path_field(b"na\xefve.txt", "naïve-π.txt".encode())),
        stored(b"stale\x82.txt", b"stale field",
               extra=unicode_path_field(b"stale\x82.txt", b"other.txt", crc=1)),
        stored(b"nucx.txt", b"nucx field", extra=nucx_field("ΩΨ-nucx.txt")),
        stored("flagged-ü.txt".encode(), b"flag", flags=0x800),
        stored("bare-é.txt".encode(), b"valid utf8"),
    ]))
    c("empty.zip", raw_zip([]))
    c("folders-only.zip", raw_zip([stored(b"a/", b"", attr=0x10), stored(b"a/b/", b"")]))
    c("main.zip.html", b"<!DOCTYPE html>\n<html><head><title>404 Not Found</title></head>"
      b"<body><h1>Not Found</h1></body></html>\n")
    c("zero-entry.zip", raw_zip([stored(b"zero.txt", b"", time=0x6000, date=(40 << 9) | (3 << 5) | 4,
                                        attr=0x21)]))
    with zipfile.ZipFile(os.path.join(folder, "comment.zip"), "w") as z:
        z.writestr("note.txt", b"with comment")
        z.comment = b"A comment that holds PK\x05\x06 and more"
    c("split-marker.zip", b"PK\x07\x08" + raw_zip([stored(b"a.txt", b"a")]))
    c("second-disk.zip", raw_zip([stored(b"a.txt", b"a")], disk=1))
    c("misplaced-directory.zip", raw_zip([stored(b"a.txt", b"a")], cd_offset_delta=-3))
    c("zip64-locator-missing.zip", raw_zip([stored(b"a.txt", b"a")], zip64_needed=True))
    c("readonly-entry.zip", raw_zip([stored(b"locked.txt", b"locked v1", attr=0x21)]))
    c("readonly-entry-v2.zip", raw_zip([stored(b"locked.txt", b"locked v2", attr=0x20)]))
    c("unix-modes.zip", raw_zip([
        stored(b"ro.txt", b"r", made_by=0x0314, attr=(0o100444 << 16)),
        stored(b"rw.txt", b"w", made_by=0x0314, attr=(0o100644 << 16)),
        stored(b"link", b"target", made_by=0x0314, attr=(0o120777 << 16)),
        stored(b"hidden.txt", b"h", attr=0x22),
    ]))
    # One entry per kind of attribute source, each with a time of its own.
    stamp = lambda minute: dos_stamp(2019, 11, 3, 8, minute, 14)
    c("times-and-attributes.zip", raw_zip([
        stored(n, d, time=stamp(i)[0], date=stamp(i)[1], **kw) for i, (n, d, kw) in enumerate((
            (b"dos-readonly.txt", b"1", {"attr": 0x01}),
            (b"dos-hidden.txt", b"2", {"attr": 0x02}),
            (b"dos-system.txt", b"3", {"attr": 0x04}),
            (b"dos-archive.txt", b"4", {"attr": 0x20}),
            (b"dos-none.txt", b"5", {"attr": 0x00}),
            (b"unix-0644.txt", b"6", {"made_by": 0x0314, "attr": 0o100644 << 16}),
            (b"unix-0444.txt", b"7", {"made_by": 0x0314, "attr": 0o100444 << 16}),
            (b"unix-folder", b"8", {"made_by": 0x0314, "attr": 0o040755 << 16}),
            (b"zero-size.txt", b"", {"attr": 0x20}),
        ))]))
    c("device-names.zip", raw_zip([stored(n, b"dev") for n in (
        b"CON", b"nul.txt", b"Lpt1.dat", b"com9", b"AUX .log", b"dir/prn", b"trail.", b"blank ",
        b"COM10.txt", b"console.txt")]))
    c("version-needed.zip", raw_zip([stored(b"new.txt", b"new", needed=0x40),
                                     stored(b"ok.txt", b"ok", needed=0x3F)]))
    c("bad-local-header.zip", bytearray(raw_zip([stored(b"bad.txt", b"bad")])))
    blob = bytearray(raw_zip([stored(b"bad.txt", b"bad"), stored(b"good.txt", b"good")]))
    blob[0] = ord("X")
    c("bad-local-header.zip", bytes(blob))
    c("replace-target.zip", raw_zip([stored(b"target.txt", b"new content")]))
    # An entry nested 300 characters deep, whose file name alone puts the
    # target past Windows' classic limit of 260 characters in any folder.
    long_name = b"l" * 236 + b".txt"
    deep = b"".join(b"folder%02d/" % i for i in range(7)) + long_name
    assert len(deep) >= 300
    c("deep-entry.zip", raw_zip([stored(deep, b"deep content"), stored(b"short.txt", b"short")]))
    # The package's own name, in a stored folder and in other letters.
    c("named-like-package.zip", raw_zip([stored(b"docs/main.zip", b"an entry, not the package"),
                                         stored(b"MAIN.ZIP", b"an entry in capitals"),
                                         stored(b"beside.txt", b"beside")]))


def zip64_locator(disk, offset, disks):
    return struct.pack("<IIQI", 0x07064B50, disk, offset, disks)


def local_header(name, data):
    t, d = dos_stamp()
    return struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 0, t, d, zlib.crc32(data), len(data),
                       len(data), len(name), 0) + name + data


def hostile(folder):
    """Packages made to harm the user, each named after the fault it caught."""
    c = lambda name, blob: write(os.path.join(folder, name), blob)
    garbage = bytes(random.Random(9).getrandbits(8) for _ in range(64))
    # Empty entries are checked like any other.
    c("zero-size-unchecked.zip", raw_zip([
        stored(b"important.dat", garbage, method=8, usize=0, crc=0xDEADBEEF),
        stored(b"method99.dat", b"", method=99),
        deflated(b"output.dat", b"not empty", usize=0, crc=0),
        stored(b"encrypted.dat", b"\x00" * 12, flags=1, usize=0, crc=0),
        stored(b"no-stream.dat", b"", method=8),
        stored(b"wrong-crc.dat", b"", crc=0x12345678),
        deflated(b"empty-deflated.dat", b""),
        stored(b"empty-stored.dat", b""),
    ]))
    # Data with no file to go to; real folder entries stay folders.
    c("data-not-written.zip", raw_zip([
        stored(b"sub", b"file where a folder is"),
        stored(b"", b"no name"),
        stored(b"x:", b"stream of a drive"),
        stored(b"program.exe:", b"stream of a file"),
        stored(b"attrdir", b"directory attribute", attr=0x10),
        stored(b"slashdir/", b"folder name"),
        stored(b"folder/", b"", attr=0x10),
        deflated(b"deflated-folder/", b"", attr=0x10),  # as Java's zip writer makes folders
        stored(b"folder/inside.txt", b"inside"),
    ]))
    # Twenty entries, one local header: 1 MiB each from a few KiB.
    bomb = deflated(b"copy01.bin", b"overlap " * 131072)
    c("overlap-one-local-header.zip",
      raw_zip([bomb] + [dict(bomb, name=b"copy%02d.bin" % i, at=0) for i in range(2, 21)]))
    # A deflate stream whose declared size runs on into the central directory.
    into = deflated(b"into.txt", b"reaches into the directory")
    c("overlap-into-directory.zip",
      raw_zip([stored(b"fine.txt", b"fine"), dict(into, csize=len(into["data"]) + 40)]))
    # A local header hidden in the extra field of a central header.
    hidden = local_header(b"hidden.txt", b"hidden data")
    first = stored(b"first.txt", b"first", extra=struct.pack("<HH", 0xCAFE, len(hidden)) + hidden)
    directory = 30 + len(b"first.txt") + len(b"first")
    c("local-header-in-directory.zip", raw_zip([
        first,
        stored(b"hidden.txt", b"hidden data", at=("offset", directory + 46 + len(b"first.txt") + 4)),
    ]))
    # A local header inside the stored data of an earlier entry.
    c("local-header-in-entry-data.zip", raw_zip([
        stored(b"outer.txt", local_header(b"inner.txt", b"inner data")),
        stored(b"inner.txt", b"inner data", at=("offset", 30 + len(b"outer.txt"))),
    ]))
    c("device-names-superscript.zip", raw_zip(
        [stored(n.encode(), b"dev", flags=0x800)
         for n in ("COM¹", "com².txt", "LPT³.log", "lpt¹", "COM0", "lpt0.dat", "Com³ .txt")] +
        [stored(b"COM\xfd.txt", b"dev"),  # code page 437: superscript two
         stored("COM¹0.txt".encode(), b"ok", flags=0x800), stored(b"COM00.txt", b"ok"),
         stored("LPT⁴.txt".encode(), b"ok", flags=0x800)]))
    # Bytes that look like a ZIP64 locator right before a plain end record.
    c("stray-zip64-locator-in-name.zip", raw_zip([
        stored(b"a.txt", b"plain archive"),
        stored(b"dir" + zip64_locator(0, 0, 1), b"", attr=0x10)]))
    c("stray-zip64-locator-in-extra.zip", raw_zip([
        stored(b"a.txt", b"plain archive"),
        stored(b"b.txt", b"b", extra=struct.pack("<HH", 0xCAFE, 20) + zip64_locator(7, 0, 9))]))
    c("stray-zip64-locator-in-comment.zip", raw_zip([
        stored(b"a.txt", b"plain archive", comment=zip64_locator(0, 1 << 40, 1))]))
    c("zip64-needed-stray-locator.zip", raw_zip([
        stored(b"a.txt", b"a", comment=zip64_locator(0, 0, 1))], zip64_needed=True))
    names = [b"esc\x1b[31m.txt", b"bel\x07.txt", b"nul\x00cut.txt",
             "invoice\u202efdp.exe".encode(), b"x" * 300]
    names += [b"fail%02d.txt" % i for i in range(6, 26)]
    c("failure-names.zip", raw_zip([stored(n, b"data", method=99, flags=0x800) for n in names]))
    # More entries than the 16-bit count holds: Python adds the ZIP64 records.
    with zipfile.ZipFile(os.path.join(folder, "many-failures.zip"), "w") as z:
        for i in range(70000):
            z.writestr("CON.%05d" % i, b"")


class Unseekable:
    """A write-only stream, so that zipfile writes data descriptors."""

    def __init__(self, f):
        self.f = f

    def write(self, data):
        return self.f.write(data)

    def flush(self):
        self.f.flush()


def legitimate_layouts(made, inputs, names):
    """Layouts that no entry check may refuse: data descriptors, ZIP64
    fields, empty entries back to back and empty compressed streams."""
    files = [(n, open(os.path.join(inputs, n), "rb").read()) for n in names]
    with open(os.path.join(made, "python-streamed.zip"), "wb") as f:
        with zipfile.ZipFile(Unseekable(f), "w", zipfile.ZIP_DEFLATED) as z:
            for n, data in files:
                with z.open(n, "w", force_zip64=n == "text.txt") as w:
                    w.write(data)
            for i in range(5):
                z.writestr(zipfile.ZipInfo("empty-%d.txt" % i), b"")
    for method, label in ((zipfile.ZIP_DEFLATED, "deflate"), (zipfile.ZIP_BZIP2, "bzip2"),
                          (zipfile.ZIP_LZMA, "lzma")):
        with zipfile.ZipFile(os.path.join(made, "python-empty-%s.zip" % label), "w", method) as z:
            z.writestr("first-empty.txt", b"")
            z.writestr("small.txt", b"small file\n")
            z.writestr("last-empty.txt", b"")
    # Into a pipe, zip cannot go back to fill in sizes: data descriptors.
    with subprocess.Popen(["zip", "-q", "-X", "-", *names], cwd=inputs,
                          stdout=subprocess.PIPE) as p:
        write(os.path.join(made, "infozip-streamed.zip"), p.stdout.read())
    if p.returncode != 0:
        raise subprocess.CalledProcessError(p.returncode, "zip")


# ---- reference outputs and the manifest of expectations
def decoded_name(info):
    raw = info.orig_filename.encode("utf-8" if info.flag_bits & 0x800 else "cp437")
    if info.flag_bits & 0x800:
        return raw.decode("utf-8")
    try:
        if any(b >= 0x80 for b in raw):
            return raw.decode("utf-8")
    except UnicodeDecodeError:
        pass
    return raw.decode("cp437")


def target_name(name):
    name = name.replace("/", "\\")
    for sep in "\\:":
        name = name.rsplit(sep, 1)[-1]
    return name


def tool_output(archive, info, scratch):
    name = info.orig_filename.encode("utf-8" if info.flag_bits & 0x800 else "cp437")
    if info.compress_type in (0, 1, 6, 8, 9, 12):
        pattern = name.replace(b"[", b"[[]")
        r = subprocess.run(["unzip", "-p", "-qq", archive, pattern], stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, env=TOOL_ENV)
        if len(r.stdout) == info.file_size:
            return r.stdout
    if info.compress_type in (0, 1, 6, 8, 9, 12, 14, 98):
        r = subprocess.run(["7z", "x", "-so", archive, name], stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, env=TOOL_ENV)
        if len(r.stdout) == info.file_size:
            return r.stdout
    if info.compress_type == 97 and shutil.which("wvunpack"):
        with open(archive, "rb") as f:
            f.seek(info.header_offset)
            head = f.read(30)
            n, m = struct.unpack("<HH", head[26:30])
            f.seek(info.header_offset + 30 + n + m)
            raw = f.read(info.compress_size)
        wv, wav = os.path.join(scratch, "in.wv"), os.path.join(scratch, "out.wav")
        write(wv, raw)
        subprocess.run(["wvunpack", "-q", "-y", wv, "-o", wav], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        if os.path.exists(wav):
            with open(wav, "rb") as f:
                return f.read()
    return None


def manifest(archive, refs):
    """One line per file entry: expect, method, size, crc, last, ref, name."""
    lines = []
    with zipfile.ZipFile(archive) as z:
        infos = [i for i in z.infolist() if not (i.filename.endswith(("/", "\\"))
                                                 or i.external_attr & 0x10)]
    last = {}
    for index, info in enumerate(infos):
        last[target_name(decoded_name(info)).lower()] = index
    scratch = refs + ".tmp"
    os.makedirs(scratch, exist_ok=True)
    for index, info in enumerate(infos):
        expect, ref = "ok", "-"
        if info.flag_bits & 1 or info.compress_type not in SUPPORTED:
            expect = "fail"
        else:
            data = tool_output(archive, info, scratch)
            if data is not None:
                ref = "%d.ref" % index
                write(os.path.join(refs, ref), data)
                if zlib.crc32(data) != info.CRC:
                    expect = "fail"
        is_last = last[target_name(decoded_name(info)).lower()] == index
        lines.append("\t".join([expect, str(info.compress_type), str(info.file_size),
                                "%08x" % info.CRC, "1" if is_last else "0", ref,
                                decoded_name(info)]))
    shutil.rmtree(scratch, ignore_errors=True)
    return "\n".join(lines) + "\n"


def updates(folder, scratch):
    """A program package whose ZEPHORA.EXE zip stored read-only, as it does
    for a file of mode 0444, and the update of that package."""
    os.makedirs(folder)
    for version, mode in (("v1-readonly", 0o444), ("v2", 0o644)):
        shutil.rmtree(scratch, ignore_errors=True)
        write(os.path.join(scratch, "ZEPHORA.EXE"), ("PROGRAM %s\n" % version).encode())
        write(os.path.join(scratch, "readme.txt"), ("readme %s\n" % version).encode())
        os.chmod(os.path.join(scratch, "ZEPHORA.EXE"), mode)
        run("zip", "-q", "-X", os.path.join(folder, "program-%s.zip" % version), "ZEPHORA.EXE",
            "readme.txt", cwd=scratch)
        os.chmod(os.path.join(scratch, "ZEPHORA.EXE"), 0o644)


def main():
    shutil.rmtree(OUT, ignore_errors=True)
    inputs = os.path.join(OUT, "inputs")
    names = make_inputs(inputs)
    made = os.path.join(OUT, "made")
    os.makedirs(made)
    z = lambda archive, *opts: run("zip", "-q", "-X", *opts, os.path.join(made, archive), *names,
                                   cwd=inputs)
    z("infozip-stored.zip", "-0")
    z("infozip-deflate.zip", "-9")
    z("infozip-bzip2.zip", "-Z", "bzip2")
    z("infozip-zip64.zip", "-fz")
    # UTF-8 names and Unix modes, as Info-ZIP stores them on Linux.
    special = os.path.join(OUT, "special")
    write(os.path.join(special, "café-ñ.txt"), b"utf-8 name\n")
    write(os.path.join(special, "日本語.txt"), "日本語\n".encode())
    write(os.path.join(special, "readonly.txt"), b"read only\n")
    write(os.path.join(special, "script.sh"), b"#!/bin/sh\necho hi\n")
    os.chmod(os.path.join(special, "readonly.txt"), 0o444)
    os.chmod(os.path.join(special, "script.sh"), 0o755)
    run("zip", "-q", os.path.join(made, "infozip-utf8-unix.zip"), "café-ñ.txt", "日本語.txt",
        "readonly.txt", "script.sh", cwd=special)
    os.chmod(os.path.join(special, "readonly.txt"), 0o644)
    updates(os.path.join(OUT, "updates"), os.path.join(OUT, "program"))
    for method in ("Deflate64", "LZMA", "PPMd", "BZip2", "Deflate", "Copy"):
        run("7z", "a", "-tzip", "-mm=" + method, "-bd", "-y",
            os.path.join(made, "7z-%s.zip" % method.lower()), *names, cwd=inputs)
    wavpack_archive(os.path.join(made, "wavpack.zip"), os.path.join(OUT, "wav"))
    legitimate_layouts(made, inputs, names)
    crafted(os.path.join(OUT, "crafted"))
    hostile(os.path.join(OUT, "crafted"))

    # Every archive whose entries are compared with the tools' output.
    listing = []
    for folder, label in ((made, "made"), (REAL, "real")):
        for root, _, files in sorted(os.walk(folder)):
            for f in sorted(files):
                if f.lower().endswith((".zip", ".zipx")):
                    listing.append(os.path.join(root, f))
    index_lines = []
    for i, archive in enumerate(listing):
        refs = os.path.join(OUT, "refs", "%03d" % i)
        os.makedirs(refs, exist_ok=True)
        write(os.path.join(refs, "manifest.tsv"), manifest(archive, refs).encode())
        index_lines.append("%03d\t%s" % (i, archive))
    write(os.path.join(OUT, "refs", "index.tsv"), ("\n".join(index_lines) + "\n").encode())


main()
