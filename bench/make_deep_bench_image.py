#!/usr/bin/env python3
"""Makes the deep-scan benchmark image: SIZE bytes (default 1 GiB) of real files with no
file system around them. The files are the 46 real files of the raw carving fixture
(JPEG, PNG, PDF, Office, ZIP, 7z, MP3, MP4, MKV, ...), laid out again and again in a
shuffled order from sector boundaries, each followed by a gap of 0 to 32 KiB of random
bytes (data no carver should claim) or zeros. A fixed seed gives the same image each run.

Usage: make_deep_bench_image.py OUT.img [SIZE]
Writes OUT.img.tsv beside the image: the first sector, extension, size and SHA-256 of
every file laid out. Prints how many files it laid out and how many bytes they fill.
"""
import gzip
import hashlib
import os
import random
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURE = os.path.join(HERE, "..", "tests", "fixtures", "carve_raw")
SECTOR = 512


def fixture_files():
    with gzip.open(os.path.join(FIXTURE, "raw.img.gz")) as f:
        raw = f.read()
    files = []
    for line in open(os.path.join(FIXTURE, "truth.tsv")):
        if line.startswith("#"):
            continue
        _, offset, ext, size, *_ = line.rstrip("\n").split("\t")
        data = raw[int(offset):int(offset) + int(size)]
        files.append((ext, data, hashlib.sha256(data).hexdigest()))
    return files


def main():
    out_path = sys.argv[1]
    size = int(sys.argv[2]) if len(sys.argv) > 2 else 1 << 30
    rng = random.Random(20261211)
    files = fixture_files()
    laid, filled = 0, 0
    truth = ["# sector\text\tsize\tsha256"]
    with open(out_path, "wb") as out:
        position = 0
        while True:
            ext, data, digest = files[rng.randrange(len(files))]
            padded = (len(data) + SECTOR - 1) // SECTOR * SECTOR
            gap = rng.randrange(0, 64) * SECTOR
            if position + padded + gap > size:
                break
            truth.append(f"{position // SECTOR}\t{ext}\t{len(data)}\t{digest}")
            out.write(data + bytes(padded - len(data)))
            out.write(rng.randbytes(gap) if rng.random() < 0.7 else bytes(gap))
            position += padded + gap
            laid += 1
            filled += len(data)
        out.write(bytes(size - position))
    with open(out_path + ".tsv", "w") as out:
        out.write("\n".join(truth) + "\n")
    print(f"{laid} files, {filled} bytes of file data in {size} bytes")


if __name__ == "__main__":
    main()
