#!/usr/bin/python3
"""A slow medium for bench/slow.sh: a FUSE file system that shows one file,
disk.img, kept in BACKING, and takes writes to it at RATE bytes a second, as
a cheap stick does. Loop-mounted, the image is a block device whose writes
drain slowly while reads and the page cache stay fast.

    slow_medium.py BACKING MOUNTPOINT RATE       (Debian: python3-fusepy)
"""
import errno
import os
import stat
import sys
import threading
import time

from fusepy import FUSE, FuseOSError, Operations


class SlowMedium(Operations):
    def __init__(self, backing, rate):
        self.backing = backing
        self.rate = rate
        self.pacing = threading.Lock()
        self.ready = time.monotonic()  # when the medium has taken what it was given

    def _path(self, path):
        if path != "/disk.img":
            raise FuseOSError(errno.ENOENT)
        return self.backing

    def getattr(self, path, fh=None):
        if path == "/":
            return {"st_mode": stat.S_IFDIR | 0o755, "st_nlink": 2}
        info = os.stat(self._path(path))
        return {key: getattr(info, key) for key in
                ("st_mode", "st_size", "st_nlink", "st_uid", "st_gid",
                 "st_atime", "st_mtime", "st_ctime")}

    def readdir(self, path, fh):
        return [".", "..", "disk.img"]

    def open(self, path, flags):
        return os.open(self._path(path), flags & ~os.O_DIRECT)

    def read(self, path, size, offset, fh):
        return os.pread(fh, size, offset)

    def write(self, path, data, offset, fh):
        with self.pacing:  # one write at a time, each after the one before
            self.ready = max(self.ready, time.monotonic()) + len(data) / self.rate
            wait = self.ready - time.monotonic()
        if wait > 0:
            time.sleep(wait)
        return os.pwrite(fh, data, offset)

    def truncate(self, path, length, fh=None):
        os.truncate(self._path(path), length)

    def flush(self, path, fh):
        return 0

    def fsync(self, path, datasync, fh):
        return 0

    def release(self, path, fh):
        os.close(fh)


if __name__ == "__main__":
    backing, point, rate = sys.argv[1], sys.argv[2], float(sys.argv[3])
    FUSE(SlowMedium(backing, rate), point, foreground=True, nothreads=False,
         big_writes=True, max_write=131072)
