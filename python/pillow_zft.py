# The Python half of the pillow_zft module: compiled into it and run when it
# is imported, with the module's own functions (_read_header, _check_length,
# _decode, _check_size, _encode, _write_whole, from pillow_zft.cpp) at hand.
"""ZFT pictures for Pillow.

    import pillow_zft          # registers the format
    from PIL import Image

    im = Image.open("rose.zft")            # im.info["notice"], im.info["date"]
    im.save("copy.zft", notice="(c) 2026 A. Painter", date="2004-09-03")

Reading and writing go through ZFT Toolkit's own codec, so a picture saved
here is the file zft convert writes for the same pixels, notice and date,
its transparent parts over the main window's colour, and a damaged file is
refused with the same reason.

The notice (text, or bytes of UTF-8; its first 48 characters are kept) and
the date ("YYYY-MM-DD", or a datetime.date) are taken from save()'s
arguments, else from the picture's info when it came from a ZFT file; else
the notice is empty and the date is today's. A picture that cannot be saved
is refused before anything is written, one past the file size limit
(ulimit -f) among them; Image.save has emptied a file it was given by name
by then, or the file a link of that name leads to, and a refused or failed
save (a full disk) leaves it empty.
"""
import datetime
import os

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
    """Judges the file by its length, measured, not read, before it reads
    the picture: a file longer than its header promises costs no more than
    a sound one."""

    _pulls_fd = True

    def decode(self, buffer):
        start = self.fd.tell()
        self.fd.seek(0, os.SEEK_END)
        length = self.fd.tell() - start
        self.fd.seek(start)
        head = self.fd.read(64)
        _check_length(head, length)
        self.set_as_raw(_decode(head + self.fd.read(length - len(head))), "RGB")
        return -1, 0


def _text(value, what):
    """`value`, str or bytes of UTF-8, as the UTF-8 bytes the codec takes."""
    if isinstance(value, (bytes, bytearray)):
        try:
            bytes(value).decode("utf-8")
        except UnicodeDecodeError as e:
            raise ValueError("the %s is not UTF-8 text (byte 0x%02x at %d)" % (what, value[e.start], e.start)) from None
        return bytes(value)
    if isinstance(value, str):
        try:
            return value.encode("utf-8")
        except UnicodeEncodeError as e:
            raise ValueError("the %s holds %a, which is no character" % (what, value[e.start])) from None
    raise TypeError("the %s must be text, not %s" % (what, type(value).__name__))


def _date_text(date):
    if date is None:
        return None
    if isinstance(date, datetime.datetime):
        date = date.date()
    if isinstance(date, datetime.date):
        return date.isoformat().encode()
    return _text(date, "date")


def _write(fp, data):
    """Writes `data` at the file's position, whole or not at all: Image.save
    has opened and emptied a file it was given by name before this runs, and
    leaves it as it is when the save fails (removing only a name it made)."""
    try:
        fd, start = fp.fileno(), fp.tell()
    except (AttributeError, OSError, ValueError):  # io.BytesIO, a pipe: no file to keep a part
        fp.write(data)
        return
    # Seeking flushes what the file object holds and puts the descriptor
    # where it says.
    fp.seek(start)
    try:
        _write_whole(fd, data)
    finally:
        fp.seek(os.lseek(fd, 0, os.SEEK_CUR))


def _save(im, fp, filename):
    # Everything that can be refused is, before a byte is written.
    notice = _text(im.encoderinfo.get("notice", im.info.get("notice")) or "", "notice")
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
    _write(fp, _encode(pixels, im.size[0], im.size[1], channels, notice, date))


def register():
    """Makes ZFT known to Pillow; importing the module has done it."""
    Image.register_open(ZftImageFile.format, ZftImageFile, _accept)
    Image.register_decoder("zft", ZftDecoder)
    Image.register_save(ZftImageFile.format, _save)
    Image.register_extension(ZftImageFile.format, ".zft")
    Image.register_mime(ZftImageFile.format, "image/x-zft")


register()
