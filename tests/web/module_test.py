#!/usr/bin/python3
"""web_module: zft.js in headless Chromium, against the built `zft`.

convert() is to write the bytes `zft convert` writes for the same picture,
notice, date and background, and to refuse what it refuses with its reason:
over photographs, palette GIFs, BMPs and transparent PNGs made here and over
every picture of the decoders' corpora (damaged ones among them); read() is
to give each converted file back, and read() and preview() are to make of
each file of the ZFT corpus what its NAME.expected says.

    module_test.py SITE ZFT SCRATCH FORMAT_CORPUS PICTURE_CORPUS...
"""
import glob
import os
import subprocess
import sys
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import browser  # noqa: E402

site, zft, scratch, format_corpus, *picture_corpora = sys.argv[1:]
browser.require(site, scratch)
import pictures  # noqa: E402

# A notice beyond ASCII: spaces around it to drop, a letter typed as two
# code points, a dash Windows-1252 has and a check mark it lacks, and more
# than 48 characters in all.
NOTICE = "  (c) 2026 Zoë Ünal — e\u0301tude ✓ and some more words past the end  "
DATE = "02/29/2024"
# zft's hint at its --fit for a picture over 999 x 999 (the module's is an option, `fit`).
FIT_HINT = " (--fit scales it down)"

check = browser.Checks()

def zft_convert(picture, notice, date, background, fit):
    out = os.path.join(scratch, "native.zft")
    arguments = [zft, "convert", "--force", "--notice", notice, picture, "-o", out] + (["--fit"] if fit else [])
    if date:
        arguments[2:2] = ["--date", date]
    if background:
        arguments[2:2] = ["--background", background]
    run = subprocess.run(arguments, capture_output=True)
    if run.returncode == 0:
        with open(out, "rb") as f:
            return "bytes", f.read()
    said = f"zft convert: {picture}: ".encode()
    err = run.stderr.decode()
    if run.returncode == 1 and run.stderr.startswith(said):
        return "reason", err[len(said):].rstrip("\n").removesuffix(FIT_HINT)
    # A usage error: "zft convert: <reason>\nTry ..."
    return "reason", err.split("\n")[0].removeprefix("zft convert: ")


CONVERT_AND_READ = """
const options = JSON.parse(new TextDecoder().decode(bytes.subarray(0, bytes.indexOf(10))));
const zft = await module.convert(bytes.subarray(bytes.indexOf(10) + 1), options);
return {zft, back: await module.read(zft)};
"""


def browser_convert(driver, picture, notice, date, background, fit, name):
    import json
    options = {"notice": notice, "name": name, "fit": fit}
    if date:
        options["date"] = date
    if background:
        options["background"] = background
    with open(picture, "rb") as f:
        data = json.dumps(options).encode() + b"\n" + f.read()
    return browser.module_call(driver, CONVERT_AND_READ, data)


def expected_notice(notice):
    """The notice as read() gives it back: as the header holds it, without padding."""
    import unicodedata
    text = unicodedata.normalize("NFC", notice.strip(" "))
    shown = "".join(c if c.encode("cp1252", "ignore").decode("cp1252") == c else "?" for c in text)
    return shown[:48].rstrip(" ")


def check_picture(driver, picture, background=None, notice=NOTICE, date=DATE, fit=False):
    name = os.path.basename(picture) + (" fitted" if fit else "")
    native_kind, native = zft_convert(picture, notice, date, background, fit)
    kind, outcome = browser_convert(driver, picture, notice, date, background, fit, os.path.basename(picture))
    if native_kind == "reason":
        check(name, kind == "error" and outcome["reason"] == native,
              f"zft refuses it saying {native!r}; the module gives {outcome!r}")
        if kind == "error":
            # Said of the file, as the window's box says it; an option's refusal is the reason alone.
            check(name, outcome["sentence"].endswith(native), f"the sentence {outcome['sentence']!r}")
        return
    if kind == "error":
        check(name, False, f"refused: {outcome}")
        return
    if outcome["zft"] != native:
        same = min(len(outcome["zft"]), len(native))
        first = next((i for i in range(same) if outcome["zft"][i] != native[i]), same)
        check(name, False, f"{len(outcome['zft'])} bytes, zft convert's {len(native)}; they differ from byte {first}")
    back = outcome["back"]
    width, height = int(native[58:61]), int(native[61:64])
    read = {k: back[k] for k in ("version", "date", "notice", "width", "height")}
    today = subprocess.run(["date", "+%m/%d/%Y"], capture_output=True, text=True).stdout.strip()
    wanted = {"version": "1A", "date": date or today, "notice": expected_notice(notice), "width": width, "height": height}
    check(name + " read back", read == wanted, f"{read} not {wanted}")
    check(name + " read back", back["rgb"] == native[64:], "other pixels")


def check_zft_corpus(driver):
    """read() and preview() over the ZFT corpus, as NAME.expected says."""
    for zft_file in sorted(glob.glob(os.path.join(format_corpus, "*.zft"))):
        name = os.path.basename(zft_file)
        expected = {}
        with open(zft_file[:-4] + ".expected", encoding="utf-8") as f:
            for line in f:
                if not line.startswith("#") and ": " in line:
                    key, value = line.rstrip("\n").split(": ", 1)
                    expected[key] = value
        with open(zft_file, "rb") as f:
            data = f.read()

        kind, outcome = browser.module_call(driver, "return await module.read(bytes, {name: 'x.zft'});", data)
        if kind == "value":
            strict = "accepted %dx%d crc32 %08x" % (outcome["width"], outcome["height"], zlib.crc32(outcome["rgb"]))
        else:
            strict = "refused " + outcome["kind"]
        check(name + " read()", strict == expected["strict"], f"{strict}, not {expected['strict']}")
        if kind == "error":
            verify = subprocess.run([zft, "verify", zft_file], capture_output=True, text=True)
            said = verify.stdout.rstrip("\n").split(": ", 1)[-1]
            check(name + " read()", outcome["reason"] == said, f"{outcome['reason']!r}, zft verify says {said!r}")

        kind, outcome = browser.module_call(driver, "return await module.preview(bytes, {name: 'x.zft'});", data)
        if kind == "error":
            previewed = "refused " + outcome["kind"]
        else:
            size = f"{outcome['width']}x{outcome['height']}"
            painted = len(outcome["rgb"]) // 3
            whole = painted == outcome["width"] * outcome["height"]
            previewed = (f"painted {size if whole else f'{painted} of {size}'} crc32 {zlib.crc32(outcome['rgb']):08x}"
                         + ("" if whole else ", then EndOfFile"))
            check(name + " preview()", whole == ("failure" not in outcome), f"failure {outcome.get('failure')!r}")
            check(name + " preview()", outcome["lines"][0].startswith("Version="), f"lines {outcome['lines']}")
        check(name + " preview()", previewed == expected["previewer"], f"{previewed}, not {expected['previewer']}")


def main():
    made = pictures.make_all(os.path.join(scratch, "pictures"))
    server = browser.Server(site)
    driver = browser.chromium(scratch)
    try:
        driver.get(server.url + "index.html")
        for picture, background in made:
            check_picture(driver, picture, background)
        for corpus in picture_corpora:
            for picture in sorted(glob.glob(os.path.join(corpus, "*"))):
                check_picture(driver, picture, "#336699" if picture.endswith((".png", ".gif")) else None)
        check_picture(driver, next(p for p, _ in made if "1200x800" in p), fit=True)
        first = made[0][0]
        # An empty notice and today's date; options refused in zft's words.
        check_picture(driver, first, notice="", date=None)
        check_picture(driver, first, date="13/01/2024")
        check_picture(driver, first, background="#12345")
        check_zft_corpus(driver)
    finally:
        driver.quit()
        server.stop()
    return check.ended()


sys.exit(main())
