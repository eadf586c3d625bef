"""What the host tests share: the picture they save and compare, the notice
they give, a test case with a folder of its own. The picture is asymmetric:
every pixel differs, and some are half or wholly transparent, so that a
swapped channel, a flipped row or transparency taken wrongly shows when a
host's ZFT is compared with zft convert's.

Run by itself it writes that picture as an 8-bit RGBA PNG with nothing but
the picture in it (no gamma, no colour profile, no text), with the
standard library alone, for the tests written in sh:

    python3 host_fixtures.py WIDTH HEIGHT OUT.png [opaque]
"""
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

# Sixty characters, an accent among them: cut to 48 as the converter cuts.
NOTICE = "(c) 2026 Ann Péinter, every pixel of it, " + "x" * 19


def pixel(x, y, opaque=False):
    """Red, green, blue and alpha of the picture's pixel (x, y)."""
    alpha = 255 if opaque else (255, 128, 0, 200)[(x + 2 * y) % 4]
    return (x * 37 + 11) % 256, (y * 53 + 7) % 256, (x + y) * 29 % 256, alpha


class ScratchTest(unittest.TestCase):
    """A test case whose tests each get a folder, removed afterwards."""

    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def save_on_a_full_disk(self, save):
        """Runs the Python `save` of 1 MB to sys.argv[1], a link to an old file
        on a real full disk (1 MB of tmpfs in a namespace of the test's own,
        where the system allows one). Gives its stderr, the file's size and
        whether the link stays."""
        disk, link = self.path("disk"), self.path("link.zft")
        os.mkdir(disk)
        os.symlink(os.path.join(disk, "picture.zft"), link)
        run = subprocess.run(["unshare", "-rm", "sh", "-c", 'mount -t tmpfs -o size=1m tmpfs "$1" || exit 77; echo old '
                              '>"$1/picture.zft"; "$0" -c "$2" "$3"; wc -c <"$1/picture.zft"', sys.executable, disk,
                              save, link], capture_output=True, text=True)
        if run.returncode == 77 or "unshare failed" in run.stderr:
            self.skipTest("no tmpfs of a user's own here: " + run.stderr.strip())
        return run.stderr, int(run.stdout), os.path.islink(link)


def write_png(width, height, out, opaque=False):
    rows = b""
    for y in range(height):
        rows += b"\0" + b"".join(bytes(pixel(x, y, opaque)) for x in range(width))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    with open(out, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


if __name__ == "__main__":
    write_png(int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], len(sys.argv) > 4 and sys.argv[4] == "opaque")
