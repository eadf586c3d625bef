# The Python half of the pillow_zft module: compiled into it and run when it
# is imported, with the module's own functions (_read_header, _decode,
# _check_size, _encode, from pillow_zft.cpp) at hand.
"""ZFT pictures for Pillow.

    import pillow_zft          # registers the format
    from PIL import Image

    im = Image.open("rose.zft")            # im.info["notice"], im.info["date"]
    im.save("copy.zft", notice="(c) 2026 A. Painter", date="2004-09-03")

Reading and writing go through ZFT Toolkit's own codec, so a picture saved
here is the file zft convert writes for the same pixels, notice and date,
its transparent parts over the main window's colour, and a damaged file is
refused with the same reason.

The notice (its first 48 characters are kept) and the date ("YYYY-MM-DD",
or a datetime.date) are taken from save()'s arguments, else from the
picture's info when it came from a ZFT file; else the notice is empty and
the date is today's.
"""
import datetime

from PIL import Image, ImageFile

__all__ = ["register", "ZftImageFile"]


def _accept(prefix):
    # The version and the first digit of a month; the rest of the header is
    # judged when the file is opened.
    return prefix[:2] == b"1A" and prefix[2:3] in (b"0", b"1")


class ZftImageFile(ImageFile.ImageFile):
    format = "ZFT"
    format_description = "ZFT picture"

    def _open(self):
        width, height, notice, date = _read_header(self.fp.read(64))
        self._size = (width, height)
        self.mode = "RGB"
        self.info["notice"] = notice
        self.info["date"] = date
        self.tile = [("zft", (0, 0, width, height), 0, None)]


class ZftDecoder(ImageFile.PyDecoder):
    """Takes the whole file at once: its length is part of what makes it
    sound."""

    _pulls_fd = True

    def decode(self, buffer):
        self.set_as_raw(_decode(self.fd.read()), "RGB")
        return -1, 0


def _date_text(date):
    if isinstance(date, datetime.datetime):
        date = date.date()
    if isinstance(date, datetime.date):
        return date.isoformat()
    return None if date is None else str(date)


def _save(im, fp, filename):
    notice = im.encoderinfo.get("notice", im.info.get("notice")) or ""
    date = _date_text(im.encoderinfo.get("date", im.info.get("date")))
    _check_size(*im.size)
    # RGB, or RGBA where the picture has any transparency, which the codec
    # puts over the main window's colour.
    if im.mode == "RGB":
        pixels, channels = im.tobytes(), 3
    elif im.mode in ("RGBA", "RGBa", "LA", "La", "PA") or "transparency" in im.info:
        pixels, channels = im.convert("RGBA").tobytes(), 4
    else:
        pixels, channels = im.convert("RGB").tobytes(), 3
    fp.write(_encode(pixels, im.size[0], im.size[1], channels, str(notice), date))


def register():
    """Makes ZFT known to Pillow; importing the module has done it."""
    Image.register_open(ZftImageFile.format, ZftImageFile, _accept)
    Image.register_decoder("zft", ZftDecoder)
    Image.register_save(ZftImageFile.format, _save)
    Image.register_extension(ZftImageFile.format, ".zft")
    Image.register_mime(ZftImageFile.format, "image/x-zft")


register()
