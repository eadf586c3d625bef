"""Pictures for the web tests and benchmark, made with Pillow: photographs
as cameras and editors save them (4:2:0 and 4:4:4, progressive, grey, with
an ICC profile), palette GIFs with a transparent colour, BMPs of 24 and 8
bits, and transparent PNGs (RGBA, grey with alpha, a palette with tRNS, one
with a gAMA chunk, which a browser's own decoder would apply)."""
import os
import struct

from PIL import Image, ImageCms, ImageDraw, ImageFilter
from PIL.PngImagePlugin import PngInfo


def photograph(width, height):
    """Something with a photograph's smooth areas, edges and grain."""
    sky = Image.linear_gradient("L").resize((width, height))
    fractal = Image.effect_mandelbrot((width, height), (-2.2, -1.3, 0.8, 1.3), 60)
    grain = Image.effect_noise((width, height), 40)
    picture = Image.merge("RGB", (sky, fractal, Image.blend(grain, sky, 0.5)))
    draw = ImageDraw.Draw(picture)
    for i in range(12):
        x, y = (i * 97) % width, (i * 61) % height
        draw.ellipse((x, y, x + width // 5, y + height // 6), fill=(40 * i % 256, 255 - 20 * i, 90))
    picture = picture.filter(ImageFilter.GaussianBlur(1.2))
    noise = Image.merge("RGB", [Image.effect_noise((width, height), 64) for _ in range(3)])
    return Image.blend(picture, noise, 0.12)


def transparent(width, height):
    picture = photograph(width, height).convert("RGBA")
    alpha = Image.linear_gradient("L").rotate(90).resize((width, height))
    ImageDraw.Draw(alpha).rectangle((0, 0, width // 4, height // 4), fill=0)
    picture.putalpha(alpha)
    return picture


def make_all(folder):
    """Writes the pictures into `folder`; gives (path, background) pairs, the
    background being what their transparent parts are to show, or None."""
    os.makedirs(folder, exist_ok=True)
    made = []

    def save(name, picture, background=None, **options):
        path = os.path.join(folder, name)
        picture.save(path, **options)
        made.append((path, background))

    photo = photograph(640, 480)
    srgb = ImageCms.ImageCmsProfile(ImageCms.createProfile("sRGB")).tobytes()
    save("photo_420.jpg", photo, quality=88, subsampling=2, icc_profile=srgb)
    save("photo_444_progressive.jpg", photograph(999, 999), quality=95, subsampling=0, progressive=True)
    save("photo_grey.jpg", photo.convert("L").resize((333, 250)), quality=80)
    save("photo_odd_size.jpg", photo.resize((37, 999)), quality=75, subsampling=1)
    # More than a ZFT file holds: refused, or reduced to fit.
    save("photo_1200x800.jpg", photo.resize((1200, 800)), quality=85)

    palette = photo.resize((320, 200)).quantize(colors=255)
    save("palette.gif", palette, "#336699", transparency=7)
    save("palette_16_interlaced.gif", photo.resize((97, 61)).quantize(colors=16), "#ffffff", interlace=True,
         transparency=0)
    save("bmp24.bmp", photo.resize((301, 123)))
    save("bmp8.bmp", palette.convert("P"))

    save("rgba.png", transparent(256, 171), "#336699")
    save("grey_alpha.png", transparent(90, 90).convert("LA"), "#000000")
    save("palette_trns.png", palette, "#ff00ff", transparency=3)
    gamma = PngInfo()
    gamma.add(b"gAMA", struct.pack(">I", 100000))
    save("rgba_gamma.png", transparent(120, 80), "#efefef", pnginfo=gamma)
    return made
