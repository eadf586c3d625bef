"""pillow_zft as a Python program meets it: Debian's python3 with its
Pillow (python3-pil), the built module on PYTHONPATH, against the built zft.
Pillow must open what zft convert writes pixel for pixel, with its notice
and date, and save the very bytes zft convert writes for the same picture,
notice and date; what it cannot read or write must fail with the reason.

    PYTHONPATH=BUILD/python python3 pillow_zft_test.py ZFT_TOOL
"""
import datetime
import io
import os
import subprocess
import sys
import unittest

from PIL import Image, UnidentifiedImageError

import pillow_zft

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
from host_fixtures import NOTICE, ScratchTest, pixel  # noqa: E402

ZFT = sys.argv.pop(1)

def asymmetric(width, height, mode):
    """Every pixel different, and in RGBA some half or wholly transparent,
    so that a swapped channel, a flipped row or transparency taken wrongly
    shows."""
    image = Image.new(mode, (width, height))
    image.putdata([pixel(x, y)[:len(mode)] for y in range(height) for x in range(width)])
    return image


class PillowZftTest(ScratchTest):
    def zft(self, *arguments):
        subprocess.run([ZFT, *arguments], check=True, stdout=subprocess.DEVNULL)

    def converted(self, image, notice="", date="09/03/2004"):
        """The file zft convert writes for `image`, kept as PNG first."""
        source = self.path("source.png")
        image.save(source)
        out = self.path("converted.zft")
        self.zft("convert", "--force", "--notice", notice, "--date", date, source, "-o", out)
        with open(out, "rb") as f:
            return f.read()

    def test_registered(self):
        self.assertEqual(Image.registered_extensions()[".zft"], "ZFT")
        self.assertEqual(Image.MIME["ZFT"], "image/x-zft")
        self.assertIn("ZFT", Image.OPEN)
        self.assertIn("ZFT", Image.SAVE)

    def test_opens_what_zft_writes_pixel_for_pixel(self):
        wanted = self.converted(asymmetric(7, 5, "RGB"), NOTICE)
        # By its content too: a ZFT of any name is one.
        for name in ("picture.zft", "picture"):
            with self.subTest(name=name):
                path = self.path(name)
                with open(path, "wb") as f:
                    f.write(wanted)
                exported = self.path("exported.ppm")
                self.zft("export", "--force", path, exported)
                with Image.open(path) as im:
                    self.assertEqual(im.format, "ZFT")
                    self.assertEqual(im.get_format_mimetype(), "image/x-zft")
                    self.assertEqual((im.mode, im.size), ("RGB", (7, 5)))
                    self.assertEqual(im.info["notice"], NOTICE[:48])
                    self.assertEqual(im.info["date"], "2004-09-03")
                    self.assertEqual(im.tobytes(), Image.open(exported).tobytes())

    def test_saves_what_zft_convert_writes(self):
        for mode in ("RGB", "RGBA"):
            for date in ("2004-09-03", datetime.date(2004, 9, 3)):
                with self.subTest(mode=mode, date=date):
                    image = asymmetric(9, 4, mode)
                    wanted = self.converted(image, NOTICE)
                    saved = self.path("saved.zft")
                    image.save(saved, notice=NOTICE, date=date)
                    with open(saved, "rb") as f:
                        self.assertEqual(f.read(), wanted)
                    self.zft("verify", saved)
                    for notice in (NOTICE, NOTICE.encode()):  # text, or bytes of UTF-8
                        buffer = io.BytesIO()
                        image.save(buffer, format="ZFT", notice=notice, date=date)
                        self.assertEqual(buffer.getvalue(), wanted)

    def test_round_trip_keeps_notice_and_date(self):
        original = self.path("original.zft")
        with open(original, "wb") as f:
            f.write(self.converted(asymmetric(5, 6, "RGB"), "kept as it was", "02/31/1999"))
        copy = self.path("copy.zft")
        Image.open(original).save(copy)
        with open(original, "rb") as a, open(copy, "rb") as b:
            self.assertEqual(a.read(), b.read())

    def test_without_notice_or_date_today_and_blank(self):
        before = datetime.date.today()
        buffer = io.BytesIO()
        asymmetric(3, 2, "RGB").save(buffer, format="ZFT")
        after = datetime.date.today()
        header = buffer.getvalue()[:64]
        self.assertIn(header[2:10].decode(), {d.strftime("%m%d%Y") for d in (before, after)})
        self.assertEqual(header[10:58], b" " * 48)

    def test_refusals(self):
        good = self.converted(asymmetric(4, 3, "RGB"))
        cut = self.path("cut.zft")
        with open(cut, "wb") as f:
            f.write(good[:-5])
        with Image.open(cut) as im:
            with self.assertRaisesRegex(OSError, "its header promises 100 [(]cut short[)]"):
                im.load()

        garbage = self.path("garbage.zft")
        with open(garbage, "wb") as f:
            f.write(b"1A13" + good[4:])
        with self.assertRaises(UnidentifiedImageError):
            Image.open(garbage)

        too_wide = self.path("too-wide.zft")
        with self.assertRaisesRegex(ValueError, "1000 × 1 pixels, and a ZFT picture can be at most 999 × 999"):
            Image.new("RGB", (1000, 1)).save(too_wide)
        self.assertFalse(os.path.exists(too_wide) and os.path.getsize(too_wide) > 0, "a refused save wrote bytes")

        # Short sentences, whatever the arguments: never the pixels in the message.
        for arguments, error, reason in [
            ({"date": "2004-02-32"}, ValueError, "not a date YYYY-MM-DD"),
            ({"notice": b"Caf\xe9"}, ValueError, "the notice is not UTF-8 text [(]byte 0xe9 at 3[)]"),
            ({"notice": "Caf\udce9"}, ValueError, "the notice holds '.udce9', which is no character"),
            ({"notice": 1984}, TypeError, "the notice must be text, not int"),
        ]:
            with self.subTest(arguments=arguments):
                with self.assertRaisesRegex(error, reason) as raised:
                    Image.new("RGB", (999, 999)).save(io.BytesIO(), format="ZFT", **arguments)
                self.assertLess(len(str(raised.exception)), 100)

    def test_a_full_disk_through_a_link_keeps_no_fragment(self):
        # Image.save has emptied the file the link leads to, and keeps the link.
        error, size, link = self.save_on_a_full_disk(
            'import sys, pillow_zft; from PIL import Image; Image.new("RGB", (600, 600)).save(sys.argv[1])')
        self.assertIn("OSError: [Errno 28] No space left on device", error)
        self.assertEqual((size, link), (0, True))

    def test_reads_no_further_than_the_picture(self):
        path = self.path("endless.zft")
        with open(path, "wb") as f:  # a sound 999 × 999 header, then nothing to 2 GB, on no disk space
            f.write(self.converted(asymmetric(999, 1, "RGB"))[:64].replace(b"999001", b"999999"))
            f.truncate(2 << 30)
        read = []

        class Counting(io.FileIO):
            def readinto(self, buffer):
                read.append(super().readinto(buffer))
                return read[-1]

        with Image.open(io.BufferedReader(Counting(path))) as im:
            with self.assertRaisesRegex(OSError, "file is 2147483648 bytes; its header promises 2994067"):
                im.load()
        self.assertLess(sum(read), 1 << 20)

    def test_modes_without_rgb(self):
        for mode in ("L", "P", "1", "LA"):
            with self.subTest(mode=mode):
                image = asymmetric(6, 5, "RGBA" if mode == "LA" else "RGB").convert(mode)
                buffer = io.BytesIO()
                image.save(buffer, format="ZFT", notice="modes", date="2004-09-03")
                rgba = image.convert("RGBA")
                self.assertEqual(buffer.getvalue(), self.converted(rgba, "modes"))


if __name__ == "__main__":
    print("pillow_zft from", pillow_zft.__file__)
    unittest.main(verbosity=2)
