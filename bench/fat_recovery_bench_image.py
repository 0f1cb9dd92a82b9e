#!/usr/bin/env python3
"""Writes a FAT32 image with three deleted 200 MiB files of random bytes in 4 KiB clusters,
each in consecutive clusters, their table entries freed, for timing recovery.

    fat_recovery_bench_image.py PATH

The boot sector, tables and root folder are written directly (no tools needed).
"""
import os, struct, sys
path = sys.argv[1]
MiB = 1 << 20
file_bytes = 200 * MiB
spc, bps, reserved, fats = 8, 512, 32, 2
total = (3 * file_bytes + 64 * MiB) // bps
clusters_guess = total // spc
fat_sectors = ((clusters_guess + 2) * 4 + bps - 1) // bps
data = reserved + fats * fat_sectors
clusters = (total - data) // spc
boot = bytearray(512)
boot[0:3] = b"\xEB\x58\x90"; boot[3:11] = b"MSWIN4.1"
struct.pack_into("<HBHBHHBHHHII", boot, 11, bps, spc, reserved, fats, 0, 0, 0xF8, 0, 63, 255, 0, total)
struct.pack_into("<IHHIHH", boot, 36, fat_sectors, 0, 0, 2, 1, 6)
boot[64] = 0x80; boot[66] = 0x29; struct.pack_into("<I", boot, 67, 0x12345678)
boot[71:82] = b"BENCH      "; boot[82:90] = b"FAT32   "; boot[510:512] = b"\x55\xAA"
with open(path, "wb") as f:
    f.truncate(total * bps)
    f.write(boot)
    fat = bytearray(16); struct.pack_into("<III", fat, 0, 0x0FFFFFF8, 0x0FFFFFFF, 0x0FFFFFFF)
    for i in range(fats):
        f.seek((reserved + i * fat_sectors) * bps); f.write(fat[:12])
    root = bytearray()
    date, time = (44 << 9) | (3 << 5) | 15, (10 << 11)
    first = 3
    per = file_bytes // (spc * bps)
    for n in range(3):
        name = b"\xE5ILE%d   BIN" % (n + 1)
        e = bytearray(32); e[0:11] = name; e[11] = 0x20
        struct.pack_into("<HHHHHHHI", e, 14, time, date, date, first >> 16, time, date, first & 0xFFFF, file_bytes)
        root += e
        f.seek((data + (first - 2) * spc) * bps)
        for _ in range(file_bytes // MiB):
            f.write(os.urandom(MiB))
        first += per
    f.seek(data * bps); f.write(root)
