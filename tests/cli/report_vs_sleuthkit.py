#!/usr/bin/env python3
"""Checks `keldrive report` against The Sleuth Kit on the FAT and NTFS fixtures.

For every deleted file the quick engines found: the DFXML byte_runs cover the sectors or
clusters `istat` lists for the entry (up to the file's size, in order), and mtime, in the
report and on the recovered file, is the one `fls -m` gives. The DFXML is well-formed (xmllint), and the CSV, read back with the
csv module, holds the same files in the same order.

Usage: report_vs_sleuthkit.py KELDRIVE FIXTURES_DIR. Exits 77 (skipped) without TSK.
"""
import calendar
import csv
import gzip
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

NS = {"d": "http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML",
      "k": "urn:keldrive:dfxml:1"}
FIXTURES = ["fat/fat32.img.gz", "fat/fat16.img.gz", "fat/fat12.img.gz", "ntfs/ntfs512.img.gz",
            "ntfs/ntfs4k.img.gz"]
CSV_HEADER = ["path", "size", "status", "category", "type", "mtime", "crtime", "first_offset",
              "engine", "content_check", "sha256"]


def run(args, allowed=(0,), **kwargs):
    done = subprocess.run(args, capture_output=True, text=True, **kwargs)
    if done.returncode not in allowed:
        raise RuntimeError(f"{' '.join(args)}: exit {done.returncode}\n{done.stderr}")
    return done.stdout


def comparable(path):
    # Keldrive shows a deleted short name's lost first byte as "!", TSK as "_".
    return "/".join("_" + part[1:] if part.startswith("!") else part for part in path.split("/"))


def iso_to_epoch(text):
    text = text.rstrip("Z").split(".")[0]
    return calendar.timegm(tuple(map(int, re.split(r"[-T:]", text))) + (0, 0, 0))


def deleted_entries(image):
    """path -> (inode, mtime) of the deleted regular files `fls -m` lists."""
    entries = {}
    for line in run(["fls", "-r", "-p", "-z", "UTC", "-m", "", image]).splitlines():
        fields = line.split("|")
        name, inode, mode, mtime = fields[1], fields[2], fields[3], int(fields[8])
        if not name.endswith(" (deleted)") or "($FILE_NAME)" in name or ":" in name:
            continue
        if not mode.startswith("r/r") and not mode.startswith("-/r"):
            continue
        entries[name[: -len(" (deleted)")]] = (inode, mtime)
    return entries


def tsk_units(image, inode, is_ntfs):
    """The sectors (FAT) or clusters (NTFS) istat lists for the unnamed data, in order;
    None for resident data."""
    text = run(["istat", image, inode.split("-")[0]])
    if not is_ntfs:
        return [int(n) for n in text.split("Sectors:", 1)[1].split()]
    match = re.search(r"Type: \$DATA \(128-\d+\)\s+Name: N/A\s+(\S+).*?\n((?:[\d ]+\n)*)", text)
    if match.group(1) == "Resident":
        return None
    return [int(n) for n in match.group(2).split()]


def our_units(fileobject, unit):
    units = []
    for run in fileobject.iterfind("d:byte_runs/d:byte_run", NS):
        offset, length = int(run.get("img_offset")), int(run.get("len"))
        first, end = offset // unit, (offset + length + unit - 1) // unit
        units.extend(range(first, end))
    return units


def truth_hashes(fixtures, fixture):
    """path -> sha256 from a FAT fixture's ground truth; empty for the others."""
    truth = os.path.join(fixtures, fixture.replace(".img.gz", "_truth.tsv"))
    if not os.path.exists(truth):
        return {}
    with open(truth, encoding="utf-8") as f:
        rows = [line.rstrip("\n").split("\t") for line in f if not line.startswith("#")]
    return {row[0]: row[4] for row in rows if len(row) > 4 and row[2] == "file"}


def runs_hold_the_data(image, fileobjects):
    """Files whose byte_runs, read from the image, do not give the bytes recovery writes."""
    wrong = []
    with open(image, "rb") as medium:
        for fo in fileobjects:
            runs = fo.find("d:byte_runs", NS)
            digest = fo.findtext("d:hashdigest", namespaces=NS)
            if runs is None or runs.get("type") == "resident" or digest is None:
                continue
            data = bytearray()
            for run in runs:
                length = int(run.get("len"))
                if run.get("fill") is not None:
                    data += bytes(length)
                    continue
                medium.seek(int(run.get("img_offset")))
                data += medium.read(length)
            if hashlib.sha256(data).hexdigest() != digest:
                wrong.append(fo.findtext("d:filename", namespaces=NS))
    return wrong


def recovery_report_problems(report, fileobjects):
    """The recovery report's sha256 is that of the file written, and a complete file's is
    the scan report's hash of the bytes recovery reads."""
    expected = {fo.findtext("d:filename", namespaces=NS):
                fo.findtext("d:hashdigest", default="", namespaces=NS) for fo in fileobjects}
    problems = []
    with open(report, newline="", encoding="utf-8") as f:
        rows = list(csv.DictReader(f))
    for row in rows:
        if not row["target"]:
            if not row["result"].endswith("nothing was kept"):
                problems.append(f"{row['path']}: no target, yet something was kept")
            continue
        with open(row["target"], "rb") as written:
            data = written.read()
        if hashlib.sha256(data).hexdigest() != row["sha256"] or len(data) != int(row["bytes_written"]):
            problems.append(f"{row['target']}: the recovery report's sha256 or size is not the file's")
        if row["result"] == "complete" and expected.get(row["path"]) != row["sha256"]:
            problems.append(f"{row['path']}: written whole, but not as the scan report says")
    if len(rows) != len(fileobjects):
        problems.append(f"the recovery report has {len(rows)} files, the scan {len(fileobjects)}")
    return problems


def check_fixture(keldrive, fixtures, fixture, work):
    image = os.path.join(work, os.path.basename(fixture)[:-3])
    with gzip.open(os.path.join(fixtures, fixture)) as src, open(image, "wb") as dst:
        shutil.copyfileobj(src, dst)
    env = dict(os.environ, XDG_DATA_HOME=os.path.join(work, "data"))
    run([keldrive, "scan", image], env=env)
    dfxml = os.path.join(work, "report.xml")
    table = os.path.join(work, "report.csv")
    run([keldrive, "report", image, "--format", "dfxml", "--hash", "sha256", "--out", dfxml],
        env=env)
    run([keldrive, "report", image, "--format", "csv", "--hash", "sha256", "--out", table],
        env=env)
    if shutil.which("xmllint"):
        run(["xmllint", "--noout", dfxml])

    recovered = os.path.join(work, "recovered")
    recovery_csv = os.path.join(work, "recovery.csv")
    recovery_xml = os.path.join(work, "recovery.xml")
    run([keldrive, "recover", image, "--to", recovered, "--all", "--keep-paths", "--report",
         recovery_csv], allowed=(0, 1), env=dict(env, TZ="UTC"))
    run([keldrive, "recover", image, "--to", os.path.join(work, "again"), "--all", "--report",
         recovery_xml], allowed=(0, 1), env=env)
    if shutil.which("xmllint"):
        run(["xmllint", "--noout", recovery_xml])
    is_ntfs = fixture.startswith("ntfs/")
    fsstat = run(["fsstat", image])
    unit = int(re.search(r"Cluster Size: (\d+)", fsstat).group(1)) if is_ntfs else 512
    tsk = deleted_entries(image)
    truth = truth_hashes(fixtures, fixture)
    problems, compared = [], 0
    fileobjects = ET.parse(dfxml).getroot().findall("d:volume/d:fileobject", NS)
    # istat runs once a file: a spread of at most 60 files keeps the test short.
    step = max(1, len(fileobjects) // 60)
    for fo in fileobjects[::step]:
        path = "/" + fo.findtext("d:filename", namespaces=NS)
        if fo.findtext("d:alloc", namespaces=NS) != "0" or comparable(path) not in tsk:
            continue
        inode, mtime = tsk[comparable(path)]
        size = int(fo.findtext("d:filesize", namespaces=NS))
        ours_mtime = fo.findtext("d:mtime", namespaces=NS)
        if ours_mtime is None or iso_to_epoch(ours_mtime) != mtime:
            problems.append(f"{path}: mtime {ours_mtime} against fls {mtime}")
        written = os.path.join(recovered, path.lstrip("/"))
        if not os.path.exists(written):
            problems.append(f"{path}: not recovered")
        elif int(os.stat(written).st_mtime) != mtime:
            problems.append(f"{path}: recovered with mtime {os.stat(written).st_mtime}, "
                            f"fls says {mtime}")
        runs = fo.find("d:byte_runs", NS)
        theirs = tsk_units(image, inode, is_ntfs)
        if theirs is None or size == 0:
            if runs is not None and len(runs) != 0:
                problems.append(f"{path}: runs for data TSK holds resident or empty")
        elif runs is None:
            problems.append(f"{path}: no byte_runs")
        else:
            wanted = theirs[: (size + unit - 1) // unit]
            # TSK takes a live entry in a deleted folder for a deleted file and stops at a
            # cluster its chain still holds; there the fixture's truth decides.
            digest = fo.findtext("d:hashdigest", namespaces=NS)
            if our_units(fo, unit) != wanted and truth.get(path) != digest:
                problems.append(f"{path}: runs {our_units(fo, unit)[:8]}... against istat "
                                f"{wanted[:8]}...")
        compared += 1

    for path in runs_hold_the_data(image, fileobjects):
        problems.append(f"{path}: its byte_runs do not hold the bytes recovery writes")

    with open(table, newline="", encoding="utf-8") as f:
        rows = list(csv.reader(f))
    if rows[0] != CSV_HEADER:
        problems.append(f"CSV header {rows[0]}")
    expected = [[fo.findtext("d:filename", namespaces=NS), fo.findtext("d:filesize", namespaces=NS),
                 fo.findtext("d:hashdigest", default="", namespaces=NS)] for fo in fileobjects]
    if [[r[0], r[1], r[10]] for r in rows[1:]] != expected:
        problems.append("the CSV rows differ from the DFXML file objects")
    problems += recovery_report_problems(recovery_csv, fileobjects)
    if compared < 5:
        problems.append(f"only {compared} deleted files matched TSK's")
    return compared, problems


def check_carved(keldrive, fixtures, work):
    """A deep scan of a raw image of pictures: each carved file is one run that holds it."""
    image = os.path.join(work, "pictures.img")
    with gzip.open(os.path.join(fixtures, "carve/pictures.img.gz")) as src, \
            open(image, "wb") as dst:
        shutil.copyfileobj(src, dst)
    env = dict(os.environ, XDG_DATA_HOME=os.path.join(work, "data"))
    run([keldrive, "scan", image, "--mode", "deep"], env=env)
    dfxml = run([keldrive, "report", image, "--format", "dfxml", "--hash", "sha256"], env=env)
    fileobjects = ET.fromstring(dfxml).findall("d:volume/d:fileobject", NS)
    carved = [fo for fo in fileobjects if fo.findtext("k:engine", namespaces=NS) == "carving"]
    problems = [f"{path}: its byte_runs do not hold the bytes recovery writes"
                for path in runs_hold_the_data(image, carved)]
    problems += [fo.findtext("d:filename", namespaces=NS) + ": not one run" for fo in carved
                 if len(fo.findall("d:byte_runs/d:byte_run", NS)) != 1]
    if len(carved) < 5:
        problems.append(f"only {len(carved)} carved files")
    return len(carved), problems


def main():
    keldrive, fixtures = sys.argv[1], sys.argv[2]
    if not (shutil.which("istat") and shutil.which("fls") and shutil.which("fsstat")):
        print("The Sleuth Kit is not installed: skipped")
        return 77
    failed = False
    for fixture in FIXTURES:
        with tempfile.TemporaryDirectory() as work:
            compared, problems = check_fixture(keldrive, fixtures, fixture, work)
        print(f"{fixture}: {compared} deleted files compared, {len(problems)} differences")
        for problem in problems:
            print("  " + problem)
        failed |= bool(problems)
    with tempfile.TemporaryDirectory() as work:
        carved, problems = check_carved(keldrive, fixtures, work)
    print(f"carve/pictures.img.gz: {carved} carved files, {len(problems)} differences")
    for problem in problems:
        print("  " + problem)
    failed |= bool(problems)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
