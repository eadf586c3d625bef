"""Reads each ZFT file named on its command line through the editors' and
scripting hosts, as their users open a picture, and prints a line for each
host and file:
    FILE<tab>HOST<tab>accepted 6x5 crc32 1a2b3c4d      or      ...<tab>refused
The hosts: Pillow with pillow_zft (on PYTHONPATH), and ImageMagick's convert
with the built coder (on MAGICK_CODER_MODULE_PATH). For tst_conformance.

    /usr/bin/python3 host_readers.py FILE...
"""
import subprocess
import sys
import zlib

from PIL import Image

import pillow_zft  # noqa: F401 (its import registers the format)


def accepted(width, height, rgb):
    return "accepted %dx%d crc32 %08x" % (width, height, zlib.crc32(rgb))


def pillow(file):
    try:
        with Image.open(file) as image:
            image.load()
            return accepted(image.width, image.height, image.convert("RGB").tobytes())
    except Exception:  # any refusal, in whatever words Pillow gives it
        return "refused"


def image_magick(file):
    run = subprocess.run(["/usr/bin/convert", file, "-depth", "8", "ppm:-"], capture_output=True)
    if run.returncode != 0:
        return "refused"
    # Binary PPM: "P6", width, height, 255, each after blanks or a comment
    # line (ImageMagick writes the notice as one), then one blank and the pixels.
    ppm, fields, at = run.stdout, [], 0
    while len(fields) < 4 and at < len(ppm):
        if ppm[at:at + 1].isspace():
            at += 1
        elif ppm[at:at + 1] == b"#":
            at = ppm.find(b"\n", at) + 1 or len(ppm)
        else:
            end = at
            while end < len(ppm) and not ppm[end:end + 1].isspace():
                end += 1
            fields.append(ppm[at:end])
            at = end
    if fields[:1] != [b"P6"] or fields[3:] != [b"255"]:
        return "a picture not in 8-bit RGB"
    return accepted(int(fields[1]), int(fields[2]), ppm[at + 1:])


for file in sys.argv[1:]:
    print("%s\tPillow\t%s" % (file, pillow(file)))
    print("%s\tImageMagick\t%s" % (file, image_magick(file)))
