#!/usr/bin/env python3
"""Makes ZIP archives with 7z for the decoder tests: Deflate64 and PPMd with
several model orders and memory sizes, over text-like, random and mixed
inputs. Usage: make_fresh_archives.py OUTDIR"""

import os
import random
import shutil
import subprocess
import sys


def text_like(rng, size):
    words = ["zephora", "installatie", "programma", "the", "of", "data", "archive",
             "window", "decoder", "stream", "byte", "een", "het", "voor", "setup"]
    out = []
    length = 0
    while length < size:
        line = " ".join(rng.choice(words) for _ in range(rng.randint(3, 14)))
        line = line.capitalize() + ".\n"
        out.append(line)
        length += len(line)
    return "".join(out).encode()[:size]


def mixed(rng, size):
    parts = []
    while sum(len(p) for p in parts) < size:
        kind = rng.randint(0, 3)
        n = rng.randint(100, 40000)
        if kind == 0:
            parts.append(bytes(n))
        elif kind == 1:
            parts.append(rng.randbytes(n))
        elif kind == 2:
            parts.append(text_like(rng, n))
        else:
            block = rng.randbytes(rng.randint(1, 300))
            parts.append(block * (n // len(block) + 1))
    return b"".join(parts)[:size]


def main():
    out = sys.argv[1]
    inputs = os.path.join(out, "inputs")
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(inputs)
    rng = random.Random(20261208)
    files = {
        "text.txt": text_like(rng, 300000),
        "random.bin": rng.randbytes(120000),
        "mixed.bin": mixed(rng, 400000),
        "tiny.txt": b"a",
        "empty.txt": b"",
    }
    for name, data in files.items():
        with open(os.path.join(inputs, name), "wb") as f:
            f.write(data)
    names = sorted(files)
    variants = {
        "deflate64-x5.zip": ["-mm=Deflate64", "-mx=5"],
        "deflate64-x9.zip": ["-mm=Deflate64", "-mx=9"],
        "ppmd-o2-m1.zip": ["-mm=PPMd", "-mo=2", "-mmem=1m"],
        "ppmd-o6-m16.zip": ["-mm=PPMd", "-mo=6", "-mmem=16m"],
        "ppmd-o16-m1.zip": ["-mm=PPMd", "-mo=16", "-mmem=1m"],
        "ppmd-o10-m64.zip": ["-mm=PPMd", "-mo=10", "-mmem=64m"],
    }
    for archive, switches in variants.items():
        subprocess.run(["7z", "a", "-tzip", "-bd", "-y", *switches,
                        os.path.join(os.path.abspath(out), archive), *names],
                       cwd=inputs, check=True, stdout=subprocess.DEVNULL)


if __name__ == "__main__":
    main()
