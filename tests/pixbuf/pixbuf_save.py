"""GTK programs saving ZFT through gdk-pixbuf, as they do it: Debian's
python3 with python3-gi, on the build tree's loader cache
(GDK_PIXBUF_MODULE_FILE). What the loader writes must be the bytes zft
convert writes for the same picture, notice and date; what it cannot write
must end in a GError with the reason and leave nothing of the picture.

    python3 pixbuf_save.py ZFT_TOOL
"""
import os
import subprocess
import sys
import unittest

import gi

gi.require_version("GdkPixbuf", "2.0")
from gi.repository import GdkPixbuf, GLib  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
from host_fixtures import NOTICE, ScratchTest, pixel  # noqa: E402

ZFT = sys.argv.pop(1)

def asymmetric(width, height, alpha):
    """The shared asymmetric picture, with or without its alpha."""
    channels = 4 if alpha else 3
    data = b"".join(bytes(pixel(x, y)[:channels]) for y in range(height) for x in range(width))
    return GdkPixbuf.Pixbuf.new_from_bytes(GLib.Bytes.new(data), GdkPixbuf.Colorspace.RGB, alpha, 8,
                                           width, height, width * channels)


class PixbufSaveTest(ScratchTest):
    def converted(self, source, notice, date):
        """What zft convert writes for the picture in `source`."""
        out = self.path("zft-convert.zft")
        subprocess.run([ZFT, "convert", "--force", "--notice", notice, "--date", date, source, "-o", out], check=True)
        with open(out, "rb") as f:
            return f.read()

    def test_format_is_writable(self):
        formats = {f.get_name(): f for f in GdkPixbuf.Pixbuf.get_formats()}
        self.assertIn("zft", formats)
        self.assertTrue(formats["zft"].is_writable())
        self.assertTrue(formats["zft"].is_save_option_supported("notice"))
        self.assertTrue(formats["zft"].is_save_option_supported("date"))
        self.assertFalse(formats["zft"].is_save_option_supported("quality"))

    def test_same_bytes_as_zft_convert(self):
        for alpha in (False, True):
            with self.subTest(alpha=alpha):
                pixbuf = asymmetric(7, 5, alpha)
                source = self.path("source.png")
                pixbuf.savev(source, "png", [], [])
                wanted = self.converted(source, NOTICE, "02/31/2004")

                saved = self.path("saved.zft")
                pixbuf.savev(saved, "zft", ["notice", "date"], [NOTICE, "2004-02-31"])
                with open(saved, "rb") as f:
                    self.assertEqual(f.read(), wanted)
                subprocess.run([ZFT, "verify", saved], check=True, stdout=subprocess.DEVNULL)

                ok, buffer = pixbuf.save_to_bufferv("zft", ["notice", "date"], [NOTICE, "2004-02-31"])
                self.assertTrue(ok)
                self.assertEqual(bytes(buffer), wanted)

                # Opened, it carries its notice and date under the options' names, and saves as it was.
                loader = GdkPixbuf.PixbufLoader.new_with_type("zft")
                loader.write(wanted)
                loader.close()
                opened = loader.get_pixbuf()
                ok, buffer = opened.save_to_bufferv("zft", ["notice", "date"],
                                                    [opened.get_option("notice"), opened.get_option("date")])
                self.assertEqual(bytes(buffer), wanted)

    def test_without_options_today_and_no_notice(self):
        def today():
            return subprocess.run(["date", "+%m%d%Y"], check=True, capture_output=True, text=True).stdout.strip()

        before = today()
        saved = self.path("plain.zft")
        asymmetric(3, 2, False).savev(saved, "zft", [], [])
        after = today()
        with open(saved, "rb") as f:
            header = f.read(64)
        self.assertIn(header[2:10].decode(), (before, after))
        self.assertEqual(header[10:58], b" " * 48)
        self.assertEqual(header[58:64], b"003002")

    def test_refusals(self):
        cases = [
            ("too wide", asymmetric(1000, 1, False), [], [], "1000 × 1 pixels, and a ZFT picture can be at most"),
            ("unknown option", asymmetric(2, 2, False), ["quality"], ["90"], "not \"quality\""),
            ("bad date", asymmetric(2, 2, False), ["date"], ["2004-13-03"], "not a date YYYY-MM-DD"),
        ]
        for name, pixbuf, keys, values, reason in cases:
            with self.subTest(name):
                target = self.path("refused.zft")
                with self.assertRaises(GLib.Error) as raised:
                    pixbuf.savev(target, "zft", keys, values)
                self.assertIn(reason, raised.exception.message)
                self.assertFalse(os.path.exists(target), "a refused save left a file")

    def test_a_write_that_does_not_reach_the_disk_fails(self):
        # Through a link: gdk-pixbuf removes what it saved to when the save
        # fails, which must be the link and not the device.
        full = self.path("full.zft")
        os.symlink("/dev/full", full)
        with self.assertRaises(GLib.Error) as raised:
            asymmetric(20, 20, False).savev(full, "zft", [], [])
        self.assertIn("No space left on device", raised.exception.message)

    def test_a_full_disk_through_a_link_keeps_no_fragment(self):
        # gdk-pixbuf removes the link; the file it led to must keep nothing.
        error, size, link = self.save_on_a_full_disk(
            'import sys, gi; gi.require_version("GdkPixbuf", "2.0"); from gi.repository import GdkPixbuf; '
            'GdkPixbuf.Pixbuf.new(GdkPixbuf.Colorspace.RGB, False, 8, 600, 600).savev(sys.argv[1], "zft", [], [])')
        self.assertIn("Cannot write the ZFT picture: No space left on device", error)
        self.assertEqual((size, link), (0, False))

    def test_a_callback_that_refuses_ends_the_save(self):
        taken = []

        def refuse_after_the_header(data, *unused):
            taken.append(bytes(data))
            return len(taken) < 2

        with self.assertRaises(GLib.Error) as raised:
            asymmetric(20, 20, False).save_to_callbackv(refuse_after_the_header, None, "zft", [], [])
        self.assertIn("Cannot write the ZFT picture", raised.exception.message)
        self.assertEqual(len(taken), 2, "the save went on after a refused write")

    def test_saved_reads_back_as_zft_export_gives_it(self):
        pixbuf = asymmetric(9, 4, True)
        saved = self.path("back.zft")
        pixbuf.savev(saved, "zft", ["notice"], ["back"])
        exported = self.path("back.ppm")
        subprocess.run([ZFT, "export", saved, exported], check=True)
        # By name: the system's MIME database, which gdk-pixbuf sniffs with,
        # need not know the type here.
        loader = GdkPixbuf.PixbufLoader.new_with_type("zft")
        with open(saved, "rb") as f:
            loader.write(f.read())
        loader.close()
        back = loader.get_pixbuf()
        ppm = GdkPixbuf.Pixbuf.new_from_file(exported)
        self.assertEqual(back.get_pixels(), ppm.get_pixels())


if __name__ == "__main__":
    unittest.main(verbosity=2)
