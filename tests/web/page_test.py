#!/usr/bin/python3
"""web_page: the page in headless Chromium, driven as a person would: the
intro clicked (keys do nothing there), the menus by keys and clicks, F1,
pictures picked through the file input, the boxes answered by their buttons
and keys; the converted files compared with `zft convert`'s, the previews'
pixels read back from the window; the windows, menus and boxes as a screen
reader finds them; the service worker keeping the page without a network.

The browser's save dialog cannot be driven headless: the first run takes a
file of the origin's private file system in its place, the second run has
none, as in browsers without one, and saves by a name and a download.

    page_test.py SITE ZFT SCRATCH FORMAT_CORPUS JPEG_CORPUS
"""
import hashlib
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import browser  # noqa: E402

site, zft, scratch, format_corpus, jpeg_corpus = sys.argv[1:]
browser.require(site, scratch)
import pictures  # noqa: E402
from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
from selenium.webdriver.common.actions.action_builder import ActionBuilder  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402

TITLE = "ZFT Toolkit - SP1"
NOTICE = "  Ünal & Zoë, 2026 — all rights  "

check = browser.Checks()


def wait_for(what, condition, timeout=20):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError(f"waited {timeout} s for {what}")


class Page:
    def __init__(self, driver):
        self.driver = driver

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def keys(self, *keys):
        ActionChains(self.driver).send_keys(*keys).perform()

    def alt(self, key):
        ActionChains(self.driver).key_down(Keys.ALT).send_keys(key).key_up(Keys.ALT).perform()

    def click_at(self, x, y):
        actions = ActionBuilder(self.driver)
        actions.pointer_action.move_to_location(int(x), int(y)).click()
        actions.perform()

    def element(self, selector):
        return self.driver.find_element(By.CSS_SELECTOR, selector)

    def shown(self, selector):
        return self.js("const e = document.querySelector(arguments[0]); return !!e && e.checkVisibility();", selector)

    def size(self, selector):
        rect = self.element(selector).rect
        return round(rect["width"]), round(rect["height"])

    def box(self):
        """The open box: {title, text, buttons, role, field}, or None."""
        return self.js("""
            const d = [...document.querySelectorAll('dialog[open]')].pop();
            if (!d) return null;
            const text = d.querySelector('.box-text, .box-field span');
            return {title: d.querySelector('.box-title').textContent, text: text ? text.textContent : null,
                    buttons: [...d.querySelectorAll('.box-buttons button')].map(b => b.textContent),
                    role: d.getAttribute('role'), field: !!d.querySelector('input'),
                    focused: document.activeElement.textContent || document.activeElement.tagName};""")

    def wait_box(self, what):
        return wait_for(what, self.box)

    def wait_no_box(self, what):
        wait_for(what, lambda: self.box() is None)

    def press(self, button):
        self.driver.find_element(By.XPATH, f"//dialog[@open]//div[@class='box-buttons']/button[text()='{button}']").click()

    def pick(self, path):
        """Picks `path` in the file dialog the page has opened."""
        self.element("#CommonDialog1").send_keys(os.path.abspath(path))

    def surface_sha(self, left, top, width, height):
        """The SHA-256 of the red, green and blue bytes of that part of the drawing surface."""
        return self.driver.execute_async_script("""
            const [left, top, width, height, done] = arguments;
            const rgba = document.getElementById('surface').getContext('2d').getImageData(left, top, width, height).data;
            const rgb = new Uint8Array(rgba.length / 4 * 3);
            for (let i = 0, j = 0; i < rgba.length; i += 4, j += 3) rgb.set(rgba.subarray(i, i + 3), j);
            crypto.subtle.digest('SHA-256', rgb).then(d => done([...new Uint8Array(d)].map(b => b.toString(16).padStart(2, '0')).join('')));
            """, left, top, width, height)

    def accessible(self):
        """(role, name) of every node a screen reader finds."""
        tree = self.driver.execute_cdp_cmd("Accessibility.getFullAXTree", {})
        return {(n.get("role", {}).get("value"), n.get("name", {}).get("value")) for n in tree["nodes"]
                if not n.get("ignored")}


def sha(data):
    return hashlib.sha256(data).hexdigest()


def zft_convert(picture, notice, date, background):
    out = os.path.join(scratch, "native.zft")
    run = subprocess.run([zft, "convert", "--force", "--notice", notice, "--date", date, "--background", background,
                          picture, "-o", out], capture_output=True, text=True)
    if run.returncode:
        return run.stderr.rstrip("\n").split(": ", 2)[-1]
    with open(out, "rb") as f:
        return f.read()


def header_lines(data):
    def text(b):
        return b.decode("cp1252", errors="replace")
    return (f"Version={text(data[0:2])} - Creationdate={text(data[2:4])}/{text(data[4:6])}/{text(data[6:10])}\n"
            f"width={text(data[58:61])} - height={text(data[61:64])}\n"
            f"Copyright notification={text(data[10:58])}")


def start(page, url):
    page.driver.get(url)
    wait_for("the intro", lambda: page.js("return document.documentElement.dataset.ready") == "intro")
    check("intro", page.shown("#introscreen") and not page.shown("#mainscreen"), "not the intro alone")
    check("intro size", page.size("#introscreen") == (260, 337), str(page.size("#introscreen")))


def click_intro(page):
    # A click where the logo shows lands on the click area in front of it.
    logo = page.element("#Image1").rect
    page.click_at(logo["x"] + logo["width"] / 2, logo["y"] + logo["height"] / 2)
    wait_for("the main window", lambda: page.shown("#mainscreen"))
    check("intro gone", not page.shown("#introscreen"), "still shown")
    check("main window size", page.size("#mainscreen") == (261, 230), str(page.size("#mainscreen")))


def the_intro(page):
    """Keys do nothing on the intro, nor a click outside its click area."""
    start(page, page.url)
    page.keys(Keys.ENTER, Keys.SPACE, "x", Keys.F1, Keys.ESCAPE)
    page.alt("f")
    rect = page.element("#introscreen").rect
    # The right-most pixel column of the client area, inside the frame.
    page.click_at(rect["x"] + 1 + 257, rect["y"] + 100)
    time.sleep(0.3)
    check("intro keys", page.shown("#introscreen") and not page.shown("#mainscreen") and page.box() is None,
          "the intro went or something opened")
    check("accessible intro", ("button", "Start") in page.accessible(), "no button Start to press")
    click_intro(page)


def the_main_window(page, logo_sha):
    check("logo", page.surface_sha(4, 4, 250, 200) == logo_sha, "the surface shows other pixels than the logo's")
    colour = page.js("""const d = document.getElementById('surface').getContext('2d').getImageData(0, 0, 1, 1).data;
                        return [d[0], d[1], d[2]];""")
    check("surface colour", colour == [239, 239, 239], str(colour))
    seen = page.accessible()
    for node in (("menubar", "ZFT Toolkit"), ("menuitem", "File"), ("menuitem", "Help"), ("image", "logo")):
        check("accessible", node in seen, f"no {node}")

    # F1 from anywhere: the About box.
    page.keys(Keys.F1)
    box = page.wait_box("About")
    check("About", box["title"] == TITLE and box["buttons"] == ["OK"] and box["text"].count("\n") == 1
          and box["role"] == "dialog", str(box))
    seen = page.accessible()
    check("accessible box", ("dialog", TITLE) in seen and ("button", "OK") in seen, "no dialog with its button")
    page.keys(Keys.ENTER)
    page.wait_no_box("About to close")

    # The Help menu by mouse.
    page.element("#hulp").click()
    wait_for("the Help menu", lambda: page.shown("#hulp-menu"))
    items = [e.text for e in page.driver.find_elements(By.CSS_SELECTOR, "#hulp-menu [role=menuitem]")]
    check("Help menu", items == ["About ZFT toolkit ...\nF1"] or items == ["About ZFT toolkit ...F1"], str(items))
    page.element("#about_zft_toolkit").click()
    page.wait_box("About from the menu")
    page.keys(Keys.ESCAPE)
    page.wait_no_box("About to close on Escape")

    # The File menu by its access key; Escape closes it.
    page.alt("f")
    wait_for("the File menu", lambda: page.shown("#bestand-menu"))
    items = [e.text for e in page.driver.find_elements(By.CSS_SELECTOR, "#bestand-menu [role=menuitem]")]
    check("File menu", items == ["Preview ZFT-file", "Convert JPG/GIF/BMP file", "Exit ZFT toolkit"], str(items))
    check("access keys", page.js("return [...document.querySelectorAll('#bestand-menu u')].map(u => u.textContent)")
          == ["P", "C", "E"], "not P, C, E")
    page.keys(Keys.ESCAPE)
    wait_for("the File menu to close", lambda: not page.shown("#bestand-menu"))


def begin_conversion(page, picture, name_typed=None):
    """File > Convert by keys, `picture` picked, and where the page asks for
    a name to save as, `name_typed` typed."""
    page.alt("f")
    page.keys("c")
    page.pick(picture)
    if name_typed is not None:
        box = page.wait_box("the save name")
        check("save name box", box["title"] == "Select a filename to save ..." and box["buttons"] == ["Save", "Cancel"],
              str(box))
        page.keys(name_typed, Keys.ENTER)


def convert(page, picture, name_typed=None):
    """A conversion up to its confirmation box; gives the box."""
    begin_conversion(page, picture, name_typed)
    return page.wait_box("the confirmation")


def finish_conversion(page, notice=NOTICE):
    page.keys(Keys.ENTER)  # OK, the default button
    box = page.wait_box("the notice")
    check("notice box", box["title"] == TITLE and box["text"] == "Please enter Copyright notice (max. 48 chars)"
          and box["field"] and box["buttons"] == ["OK", "Cancel"], str(box))
    page.keys(notice, Keys.ENTER)
    box = page.wait_box("the success box")
    check("success box", box["text"] == "Conversion succesfull !" and box["buttons"] == ["OK"]
          and box["role"] == "alertdialog", str(box))
    page.press("OK")
    page.wait_no_box("the success box to close")
    wait_for("the window back at the logo's size", lambda: page.size("#mainscreen") == (261, 230))


def converting_through_the_save_dialog(page, photo, today):
    box = convert(page, photo)
    check("confirmation", box["text"] == "Click <OK> to start convertion (this can take a moment)"
          and box["buttons"] == ["OK", "Cancel"] and box["role"] == "alertdialog" and box["focused"] == "OK", str(box))
    # The window fitted around the picture, which it shows from its top-left corner.
    check("window around the picture", page.size("#mainscreen") == (651, 510), str(page.size("#mainscreen")))
    shown = page.surface_sha(0, 0, 640, 480)
    finish_conversion(page)
    saved = browser.unbase64(page.driver.execute_async_script("""
        const done = arguments[0];
        navigator.storage.getDirectory().then(d => d.getFileHandle('saved.zft')).then(h => h.getFile())
          .then(f => f.arrayBuffer()).then(b => {
            let t = ''; const u = new Uint8Array(b);
            for (let i = 0; i < u.length; i += 0x8000) t += String.fromCharCode(...u.subarray(i, i + 0x8000));
            done({base64: btoa(t)}); });"""))
    native = zft_convert(photo, NOTICE, today, "#efefef")
    check("saved through the save dialog", saved == native, f"{len(saved)} bytes, zft convert's {len(native)}")
    check("what the window showed", shown == sha(native[64:]), "not the pixels written")
    check("save dialog's filter", page.js("return window.pickerOptions.types[0].description") == "*.ZFT", "")


def converting_to_a_download(page, downloads, gif, photo, large, damaged, today):
    # A name of three characters ends the command.
    begin_conversion(page, gif, "a.z")
    page.wait_no_box("the command to end")
    time.sleep(0.3)
    check("a short name", page.box() is None and page.size("#mainscreen") == (261, 230), "the command went on")

    convert(page, gif, "palette.zft")
    finish_conversion(page)
    path = os.path.join(downloads, "palette.zft")
    wait_for("the download", lambda: os.path.exists(path) and not os.path.exists(path + ".crdownload"))
    with open(path, "rb") as f:
        downloaded = f.read()
    native = zft_convert(gif, NOTICE, today, "#efefef")
    check("downloaded", downloaded == native, f"{len(downloaded)} bytes, zft convert's {len(native)}")

    # Cancel at the confirmation: nothing written, the window back.
    convert(page, photo, "cancelled.zft")
    page.keys(Keys.ESCAPE)
    page.wait_no_box("the confirmation to go")
    wait_for("the window back", lambda: page.size("#mainscreen") == (261, 230))
    check("cancelled", not os.path.exists(os.path.join(downloads, "cancelled.zft")), "a file was written")

    # A picture over 999 x 999: offered reduced to fit; declined, nothing more.
    begin_conversion(page, large, "large.zft")
    box = page.wait_box("the offer to reduce it")
    check("offer to reduce", box["text"].startswith(f"Cannot convert {os.path.basename(large)}: the picture is 1200 × 800")
          and box["text"].endswith("\n\nReduce it to 999 × 666 pixels?") and box["buttons"] == ["Yes", "No"], str(box))
    page.press("No")
    page.wait_no_box("the offer to go")
    check("declined", page.size("#mainscreen") == (261, 230) and page.box() is None, "the command went on")

    # A damaged picture: refused in zft's words, naming the file.
    begin_conversion(page, damaged, "damaged.zft")
    box = page.wait_box("the failure")
    reason = zft_convert(damaged, NOTICE, today, "#efefef")
    wanted = f"Cannot read the picture {os.path.basename(damaged)}: {reason}"
    check("damaged picture", box["text"] == wanted and box["buttons"] == ["OK"], f"{box['text']!r}, not {wanted!r}")
    page.keys(Keys.ENTER)
    page.wait_no_box("the failure to close")
    wait_for("the window back", lambda: page.size("#mainscreen") == (261, 230))
    return path


def previewing(page, path, cut):
    with open(path, "rb") as f:
        data = f.read()
    width, height = int(data[58:61]), int(data[61:64])
    page.element("#bestand").click()
    page.element("#preview_zft_file").click()
    page.pick(path)
    box = page.wait_box("the header box")
    check("header box", box["title"] == os.path.basename(path) and box["text"] == header_lines(data)
          and box["buttons"] == ["OK"], str(box))
    page.press("OK")
    page.wait_no_box("the header box to close")
    wait_for("the window around the picture", lambda: page.size("#mainscreen") == (width + 11, height + 30))
    time.sleep(0.2)
    check("preview", page.surface_sha(4, 4, width, height) == sha(data[64:]), "other pixels on the window")
    check("named picture", (("image", f"{os.path.basename(path)}, {width} × {height} pixels") in page.accessible()),
          "the surface is not named after the picture")

    # A file cut short: the whole pixels it has, then the reason.
    with open(cut, "rb") as f:
        data = f.read()
    width = int(data[58:61])
    page.alt("f")
    page.keys("p")
    page.pick(cut)
    page.wait_box("the header box")
    page.keys(Keys.ENTER)
    box = wait_for("the failure", lambda: (page.box() or {}).get("role") == "alertdialog" and page.box())
    promised = 64 + 3 * width * int(data[61:64])
    wanted = f"Cannot preview {os.path.basename(cut)}: file is {len(data)} bytes; its header promises {promised} (cut short)"
    check("cut short", box["text"] == wanted, f"{box['text']!r}, not {wanted!r}")
    pixels = (len(data) - 64) // 3
    check("cut short painted", page.surface_sha(4, 4, width, pixels // width) == sha(data[64:64 + 3 * width * (pixels // width)]),
          "not the pixels the file has")
    page.keys(Keys.ENTER)
    page.wait_no_box("the failure to close")


def exiting(page):
    page.alt("f")
    page.keys("e")
    box = page.wait_box("the exit question")
    check("exit question", box["text"] == "Are you sure you want to quit ZFT Toolkit ?"
          and box["buttons"] == ["Yes", "No"] and box["focused"] == "Yes", str(box))
    page.press("No")
    page.wait_no_box("the question to go")
    check("No", page.shown("#mainscreen"), "the window went")
    page.alt("f")
    page.keys("e")
    page.wait_box("the exit question")
    page.keys(Keys.ENTER)
    wait_for("the end", lambda: page.shown("#ended") and not page.shown("#mainscreen"))


def main():
    made = dict(pictures.make_all(os.path.join(scratch, "pictures")))
    photo = next(p for p in made if p.endswith("photo_420.jpg"))
    gif = next(p for p in made if p.endswith("palette.gif"))
    large = next(p for p in made if p.endswith("photo_1200x800.jpg"))
    damaged = os.path.join(jpeg_corpus, "refusals_jpeg_cut_short.jpg")
    downloads = os.path.join(scratch, "downloads")
    os.makedirs(downloads, exist_ok=True)
    for old in os.listdir(downloads):
        os.remove(os.path.join(downloads, old))

    server = browser.Server(site)
    driver = browser.chromium(scratch, downloads)
    page = Page(driver)
    page.url = server.url
    try:
        driver.execute_cdp_cmd("Page.enable", {})
        driver.execute_cdp_cmd("Page.setInterceptFileChooserDialog", {"enabled": True})
        # The save dialog: a file of the origin's own file system in its place.
        picker = driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": """
            window.showSaveFilePicker = async (options) => {
              window.pickerOptions = options;
              return (await navigator.storage.getDirectory()).getFileHandle('saved.zft', {create: true});
            };"""})["identifier"]
        the_intro(page)
        with open(os.path.join(site, "logo.jpg"), "rb") as f:
            kind, logo = browser.module_call(driver, "return await module.picture(bytes);", f.read())
        the_main_window(page, sha(logo["rgb"]))
        today = page.js("const d = new Date(); return [d.getMonth() + 1, d.getDate()].map(n => String(n).padStart(2, '0')).join('/') + '/' + d.getFullYear();")
        converting_through_the_save_dialog(page, photo, today)

        # Without a save dialog, as in browsers that have none.
        driver.execute_cdp_cmd("Page.removeScriptToEvaluateOnNewDocument", {"identifier": picker})
        driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument",
                               {"source": "delete Window.prototype.showSaveFilePicker; delete window.showSaveFilePicker;"})
        start(page, server.url)
        click_intro(page)
        check("no save dialog", page.js("return typeof window.showSaveFilePicker") == "undefined", "")
        downloaded = converting_to_a_download(page, downloads, gif, photo, large, damaged, today)
        previewing(page, downloaded, os.path.join(format_corpus, "cut_in_pixels.zft"))

        errors = driver.execute_cdp_cmd("Page.getInstallabilityErrors", {}).get("installabilityErrors", [])
        check("installable", errors == [], str(errors))
        exiting(page)

        # Once loaded, the page works without the server.
        state = driver.execute_async_script("""
            const done = arguments[0];
            navigator.serviceWorker.ready.then(r => done(r.active && r.active.state));""")
        check("service worker", state in ("activating", "activated"), str(state))
        wait_for("the service worker to be active",
                 lambda: driver.execute_async_script("""const done = arguments[0];
                     navigator.serviceWorker.getRegistration().then(r => done(r && r.active && r.active.state === 'activated'));"""))
        server.stop()
        server = None
        start(page, page.url)
        click_intro(page)
        page.keys(Keys.F1)
        page.wait_box("About, offline")
        page.keys(Keys.ENTER)
    finally:
        driver.quit()
        if server:
            server.stop()
    return check.ended()


sys.exit(main())
