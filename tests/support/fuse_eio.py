#!/ usr / bin / env python3
"""Serves one file over FUSE, read-only, whose reads of chosen byte ranges fail with EIO.

A failing disk seen through the real kernel: any read that touches a bad range fails as a
whole, the way a drive fails a request that covers a bad sector. Reads bypass the page
cache (direct_io), so each one reaches this server at the offset and size the reader asked
for; --buffered serves through the page cache instead, where the kernel reads whole pages.

Usage: fuse_eio.py SOURCE MOUNTPOINT [--name NAME] [--bad OFFSET:LENGTH]... [--buffered]
                   [--parent PID]

The file appears as MOUNTPOINT/NAME (the source's own name by default). Numbers may be
decimal or 0x hexadecimal. With --parent, the server unmounts and ends when that process
ends, so a crashed test leaves no mount behind. Stop it with `fusermount -u MOUNTPOINT`.
"""

import argparse
import errno
import os
import stat
import sys
import threading
import time

try:
    import fusepy as fuse  # Debian's python3-fusepy
except ImportError:
    import fuse  # fusepy from PyPI


def parse_range(text):
    offset, _, length = text.partition(":")
    offset, length = int(offset, 0), int(length, 0)
    if offset < 0 or length <= 0:
        raise argparse.ArgumentTypeError("bad range " + text)
    return offset, offset + length


class FailingFile(fuse.Operations):
    def __init__(self, source, name, bad):
        self.fd = os.open(source, os.O_RDONLY)
        self.size = os.fstat(self.fd).st_size
        self.name = "/" + name
        self.bad = bad
        now = time.time()
        self.times = dict(st_atime=now, st_mtime=now, st_ctime=now)

    def getattr(self, path, fh=None):
        if path == "/":
            return dict(st_mode=stat.S_IFDIR | 0o555, st_nlink=2, **self.times)
        if path == self.name:
            return dict(st_mode=stat.S_IFREG | 0o444, st_nlink=1, st_size=self.size,
                        **self.times)
        raise fuse.FuseOSError(errno.ENOENT)

    def readdir(self, path, fh):
        return [".", "..", self.name[1:]]

    def open(self, path, flags):
        if path != self.name:
            raise fuse.FuseOSError(errno.ENOENT)
        if flags & (os.O_WRONLY | os.O_RDWR):
            raise fuse.FuseOSError(errno.EROFS)
        return 0

    def read(self, path, size, offset, fh):
        end = offset + size
        for first, last in self.bad:
            if offset < last and first < end:
                raise fuse.FuseOSError(errno.EIO)
        return os.pread(self.fd, size, offset)


def watch_parent(parent, mountpoint):
    while True:
        try:
            os.kill(parent, 0)
        except ProcessLookupError:
            os.execvp("fusermount", ["fusermount", "-u", "-z", mountpoint])
        time.sleep(0.5)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("source")
    parser.add_argument("mountpoint")
    parser.add_argument("--name")
    parser.add_argument("--bad", type=parse_range, action="append", default=[])
    parser.add_argument("--buffered", action="store_true")
    parser.add_argument("--parent", type=int)
    args = parser.parse_args()

    operations = FailingFile(args.source, args.name or os.path.basename(args.source), args.bad)
    if args.parent:
        threading.Thread(target=watch_parent, args=(args.parent, args.mountpoint),
                         daemon=True).start()
    options = dict(foreground=True, ro=True, nothreads=True)
    if not args.buffered:
        options["direct_io"] = True
    fuse.FUSE(operations, args.mountpoint, **options)
    return 0


if __name__ == "__main__":
    sys.exit(main())
