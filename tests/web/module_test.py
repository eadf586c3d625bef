#!/usr/bin/python3
"""web_module: zft.js in headless Chromium, against the built `zft`.

convert() is to write the bytes `zft convert` writes for the same picture,
notice, date and background, and to refuse what it refuses with its reason:
over photographs, palette GIFs, BMPs and transparent PNGs made here and over
every picture of the decoders' corpora (damaged ones among them), and with
its options as zft convert's (null ones as none, a NUL refused); read() is
to give each converted file back, and read() and preview() are to make of
each file of the ZFT corpus what its NAME.expected says. Under memory
pressure, a call refused for memory leaves the module working, and failing
calls leave its memory as it was.

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


def browser_convert(driver, picture, options):
    import json
    with open(picture, "rb") as f:
        data = json.dumps(options).encode() + b"\n" + f.read()
    return browser.module_call(driver, CONVERT_AND_READ, data)


def expected_notice(notice):
    """The notice as read() gives it back: as the header holds it, without padding."""
    import unicodedata
    text = unicodedata.normalize("NFC", notice.strip(" "))
    shown = "".join(c if c.encode("cp1252", "ignore").decode("cp1252") == c else "?" for c in text)
    return shown[:48].rstrip(" ")


def check_picture(driver, picture, background=None, notice=NOTICE, date=DATE, fit=False, given=None):
    """convert() against zft convert for the same options; `given`, the
    module's own where they differ from zft's."""
    name = os.path.basename(picture) + (" fitted" if fit else "") + (f" given {given}" if given else "")
    native_kind, native = zft_convert(picture, notice, date, background, fit)
    options = {"notice": notice, "name": os.path.basename(picture), "fit": fit}
    if date:
        options["date"] = date
    if background:
        options["background"] = background
    kind, outcome = browser_convert(driver, picture, {**options, **(given or {})})
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


# Calls that cannot get memory, then many failing calls, then a picture
# that fits: {refused: what each of the first gave, failing: the kinds of
# the others, zft: the picture converted}.
UNDER_PRESSURE = """
const refused = [];
// More than the module's memory can hold: refused unread, for memory.
const huge = new Uint8Array(2 ** 31 + 1);
huge.set(bytes);
for (const call of [() => module.convert(huge, {name: 'huge.jpg'}), () => module.read(huge, {name: 'huge.zft'}),
                    () => module.preview(huge, {name: 'huge.zft'})]) {
  await call().then(() => refused.push('accepted'), (e) => refused.push(`${e.kind}: ${e.sentence}`));
}
// 200 failing calls, each holding 12 MB of the module's memory: more than
// it has in all, unless each frees what it took.
const failing = new Set();
const junk = new Uint8Array(12e6);
for (let i = 0; i < 200; i++) await module.convert(junk).then(() => failing.add('accepted'), (e) => failing.add(e.kind));
return {refused, failing: [...failing], zft: await module.convert(bytes, {notice: 'small', date: '01/02/2026'})};
"""


def check_under_pressure(driver, picture):
    with open(picture, "rb") as f:
        kind, outcome = browser.module_call(driver, UNDER_PRESSURE, f.read())
    if kind == "error":
        check("under memory pressure", False, f"the picture that fits is refused: {outcome}")
        return
    too_large = ": the file is too large to read into memory"
    wanted = [f"OutOfMemory: Cannot read the picture huge.jpg{too_large}", f"OutOfMemory: Cannot read huge.zft{too_large}",
              f"OutOfMemory: Cannot preview huge.zft{too_large}"]
    check("more than the module holds", outcome["refused"] == wanted, f"{outcome['refused']}")
    check("failing calls", outcome["failing"] == ["Unsupported"], f"refused as {outcome['failing']}")
    native_kind, native = zft_convert(picture, "small", "01/02/2026", None, False)
    check("a picture after them", outcome["zft"] == native, f"{len(outcome['zft'])} bytes, zft's {len(native)}")


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
        # An empty notice and today's date; options refused in zft's words;
        # null ones as none; a NUL, which would end a C string, refused.
        check_picture(driver, first, notice="", date=None)
        check_picture(driver, first, date="13/01/2024")
        check_picture(driver, first, background="#12345")
        check_picture(driver, first, notice="", given={"notice": None, "date": None, "background": None}, date=None)
        for field, given in (("notice", "(c) A\0B"), ("date", "02/29/2024\0"), ("name", "a\0.jpg")):
            kind, outcome = browser_convert(driver, first, {field: given})
            check(f"a NUL in the {field}", kind == "error" and outcome["kind"] == "Unsupported"
                  and outcome["reason"] == f"the {field} holds a NUL character (U+0000)",
                  str(outcome) if kind == "error" else "accepted")
        check_zft_corpus(driver)
        check_under_pressure(driver, first)
    finally:
        driver.quit()
        server.stop()
    return check.ended()


sys.exit(main())
