#!/usr/bin/python3
"""web_page, web_page_firefox, web_page_webkit: the page in a real browser,
driven as a person would, by real clicks and keys that the browser counts
as the user's, served with the Content-Security-Policy the README names.

The windows, boxes and commands are the program's C++ (shell/ over
platform/web), tested natively with scripted prompts; here the browser's
side of the seams and whole runs.

In every engine (Chromium, Firefox ESR, WebKitGTK) one whole run: the intro
centred and clicked, File > Convert of a JPEG picked, named in the save box,
confirmed and given a notice; the file written compared with `zft
convert`'s for the same notice, date and the window's colour, then
previewed, its pixels read back from the window; and the page under a
policy without 'wasm-unsafe-eval', which must say why it cannot start.

In Chromium also the seams: keys on the intro (F1 and Alt+F reaching
neither a menu nor the browser), a double click on it, the menus by keys
and clicks, F1, the boxes' buttons and keys, the windows as a screen reader
finds them; the save dialog refused without the user's activation, and
cancelled; saving by a download where there is no save dialog; a file of a
three-character name; refusals in zft's words; a large picture decoded in
the worker while the page goes on drawing frames; files opened with the
installed page (PWA.install, PWA.launchFilesInApp); a rebuilt page reaching
a visitor within two reloads when served with max-age=600; the page without
a network.

Where the engine's own dialog cannot be answered (Chromium's save dialog
headless, WebKit's file chooser, which its automation cancels at once) a
stand-in answers it, keeping the engine's rules: Chromium's own save dialog
is asked first, with its check of the user's activation, and answered with
a file of the origin's private file system once Chromium has intercepted it.

    page_test.py ENGINE SITE ZFT SCRATCH FORMAT_CORPUS JPEG_CORPUS
"""
import hashlib
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import browser  # noqa: E402

engine, site, zft, scratch, format_corpus, jpeg_corpus = sys.argv[1:]
browser.require(site, scratch, engine)
import pictures  # noqa: E402
from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
from selenium.webdriver.common.actions.action_builder import ActionBuilder  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402

TITLE = "ZFT Toolkit - SP1"
NOTICE = "  Ünal & Zoë, 2026 — all rights  "
SAVE_TITLE = "Select a filename to save ..."
# The folder the page names the browser's files in, which tell no folder.
FOLDER = ".../"
# What the README tells servers to send: the page compiles WebAssembly.
CSP = "default-src 'self'; script-src 'self' 'wasm-unsafe-eval'"
# The window's colour in each engine (the system's ButtonFace), which
# transparent pixels take, as the README names it.
WINDOW_COLOURS = {"chromium": "#efefef", "firefox": "#e9e9ed", "webkit": "#c0c0c0"}

check = browser.Checks()
wait_for = browser.wait_for


class Page:
    def __init__(self, driver, engine):
        self.driver = driver
        self.engine = engine

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

    def part(self, name):
        """What the program made under `name` on a window: a menu, an item, an area."""
        return self.element(f'[data-name="{name}"]')

    def shown(self, selector):
        return self.js("const e = document.querySelector(arguments[0]); return !!e && e.checkVisibility();", selector)

    def rect(self, selector):
        """Where the element lies in the browser's view: x, y, width, height."""
        # Asked of the page: WebKit's WebDriver tells nothing of an element that takes no pointer.
        return self.js("""const r = document.querySelector(arguments[0]).getBoundingClientRect();
                          return {x: r.left, y: r.top, width: r.width, height: r.height};""", selector)

    def size(self, selector):
        # Asked of the page: WebKit's WebDriver answers nothing of an element behind a modal box.
        return tuple(self.js("""const r = document.querySelector(arguments[0]).getBoundingClientRect();
                                return [Math.round(r.width), Math.round(r.height)];""", selector))

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

    def wait_shown(self, what, sha, left, top, width, height):
        """Until that part of the drawing surface shows pixels of SHA-256 `sha`."""
        wait_for(what, lambda: self.surface_sha(left, top, width, height) == sha)

    def press(self, button):
        self.driver.find_element(By.XPATH, f"//dialog[@open]//div[@class='box-buttons']/button[text()='{button}']").click()

    def pick(self, path):
        """Picks `path` in the file dialog the page has opened."""
        if self.engine == "webkit":
            wait_for("the page to open the file chooser", lambda: self.js("return window.chooserOpened"))
            self.js("window.chooserOpened = false;")
        self.element("input[type=file]").send_keys(os.path.abspath(path))

    def stand_in_for_the_chooser(self):
        """WebKit's automation cancels a file chooser the page opens at once:
        the chooser alone is stood in for, opened as WebKit opens it, only
        on the user's activation, and left for WebDriver to pick the file."""
        self.js("""
            const click = HTMLInputElement.prototype.click;
            HTMLInputElement.prototype.click = function () {
              if (this.type !== 'file') return click.call(this);
              if (navigator.userActivation.isActive) window.chooserOpened = true;
            };""")

    def read_back(self, script):
        """The bytes the async script `script` gives (`done` with a Blob)."""
        return browser.unbase64(self.driver.execute_async_script("""
            const done = arguments[0];
            const give = (blob) => blob.arrayBuffer().then((b) => {
              let t = ''; const u = new Uint8Array(b);
              for (let i = 0; i < u.length; i += 0x8000) t += String.fromCharCode(...u.subarray(i, i + 0x8000));
              done({base64: btoa(t)}); });
            """ + script))

    def surface_sha(self, left, top, width, height):
        """The SHA-256 of the red, green and blue bytes of that part of the drawing surface."""
        return self.driver.execute_async_script("""
            const [left, top, width, height, done] = arguments;
            const rgba = document.querySelector('#mainscreen canvas').getContext('2d').getImageData(left, top, width, height).data;
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
    # In the middle of the part of the page the browser shows, both ways.
    left, top, view_width, view_height = page.js("""
        const r = document.getElementById('introscreen').getBoundingClientRect();
        return [r.left, r.top, document.documentElement.clientWidth, document.documentElement.clientHeight];""")
    check("intro centred", (left, top) == ((view_width - 260) // 2, (view_height - 337) // 2),
          f"at {left}, {top} of {view_width} × {view_height}")


def click_intro(page):
    # A click where the logo shows lands on the click area in front of it.
    logo = page.rect('[data-name="Image1"]')
    page.click_at(logo["x"] + logo["width"] / 2, logo["y"] + logo["height"] / 2)
    wait_for("the main window", lambda: page.shown("#mainscreen"))
    check("intro gone", not page.shown("#introscreen"), "still shown")
    check("main window size", page.size("#mainscreen") == (261, 230), str(page.size("#mainscreen")))


def the_intro(page):
    """Keys do nothing on the intro, F1 and Alt+F reaching neither a menu
    nor the browser, nor a click outside its click area; the second click
    of a double click on it does not reach the main window it opens."""
    start(page, page.url)
    # What became of each key once the page had it: whether the browser
    # was kept from acting on it.
    page.js("""window.keysSeen = [];
        addEventListener('keydown', (e) => setTimeout(() => keysSeen.push([e.key, e.altKey, e.defaultPrevented])), true);""")
    page.keys(Keys.ENTER, Keys.SPACE, "x", Keys.F1, Keys.ESCAPE)
    page.alt("f")
    rect = page.rect("#introscreen")
    # The right-most pixel column of the client area, inside the frame.
    page.click_at(rect["x"] + 1 + 257, rect["y"] + 100)
    seen = wait_for("the keys to reach the page", lambda: len(page.js("return keysSeen")) >= 7 and page.js("return keysSeen"))
    check("intro keys", page.shown("#introscreen") and not page.shown("#mainscreen") and page.box() is None,
          "the intro went or something opened")
    check("F1 and Alt+F kept from the browser", ["F1", False, True] in seen and ["f", True, True] in seen, str(seen))
    check("accessible intro", ("button", "Start") in page.accessible(), "no button Start to press")

    # A double click where the main window's File menu comes.
    x, y = rect["x"] + 10, rect["y"] + (337 - 230) // 2 + 10
    actions = ActionBuilder(page.driver)
    actions.pointer_action.move_to_location(int(x), int(y)).double_click()
    actions.perform()
    wait_for("the main window", lambda: page.shown("#mainscreen"))
    under = page.js("return document.elementFromPoint(arguments[0], arguments[1]).closest('[data-name]')?.dataset.name", x, y)
    check("double click on the File menu", under == "bestand", f"the second click landed on {under}")
    check("double click swallowed", page.js("return document.querySelector('.menu:not([hidden])')") is None
          and page.box() is None, "a menu or a box opened")


def the_main_window(page, logo_sha):
    check("logo", page.surface_sha(4, 4, 250, 200) == logo_sha, "the surface shows other pixels than the logo's")
    colour = page.js("""const d = document.querySelector('#mainscreen canvas').getContext('2d').getImageData(0, 0, 1, 1).data;
                        return [d[0], d[1], d[2]];""")
    check("surface colour", colour == [239, 239, 239], str(colour))
    seen = page.accessible()
    for node in (("menubar", "ZFT Toolkit"), ("menuitem", "File"), ("menuitem", "Help"), ("image", "logo")):
        check("accessible", node in seen, f"no {node}")

    # Dragged by its picture, having no title bar.
    before = page.rect("#mainscreen")
    logo = page.rect('[data-name="beeld"]')
    actions = ActionBuilder(page.driver)
    actions.pointer_action.move_to_location(int(logo["x"] + 100), int(logo["y"] + 100)).pointer_down() \
        .move_to_location(int(logo["x"] + 130), int(logo["y"] + 80)).pointer_up()
    actions.perform()
    after = page.rect("#mainscreen")
    check("dragged by the picture", (after["x"] - before["x"], after["y"] - before["y"]) == (30, -20),
          f"from {before} to {after}")

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
    page.part("hulp").click()
    wait_for("the Help menu", lambda: page.shown('[data-name="hulp-menu"]'))
    items = [e.text for e in page.driver.find_elements(By.CSS_SELECTOR, '[data-name="hulp-menu"] [role=menuitem]')]
    check("Help menu", items == ["About ZFT toolkit ...\nF1"] or items == ["About ZFT toolkit ...F1"], str(items))
    page.part("about_zft_toolkit").click()
    page.wait_box("About from the menu")
    page.keys(Keys.ESCAPE)
    page.wait_no_box("About to close on Escape")

    # The File menu by its access key; Escape closes it.
    page.alt("f")
    wait_for("the File menu", lambda: page.shown('[data-name="bestand-menu"]'))
    items = [e.text for e in page.driver.find_elements(By.CSS_SELECTOR, '[data-name="bestand-menu"] [role=menuitem]')]
    check("File menu", items == ["Preview ZFT-file", "Convert JPG/GIF/BMP file", "Exit ZFT toolkit"], str(items))
    check("access keys", page.js("return [...document.querySelectorAll('[data-name=\"bestand-menu\"] u')].map(u => u.textContent)")
          == ["P", "C", "E"], "not P, C, E")
    page.keys(Keys.ESCAPE)
    wait_for("the File menu to close", lambda: not page.shown('[data-name="bestand-menu"]'))


def begin_conversion(page, picture, name_typed, answer=Keys.ENTER):
    """File > Convert by keys, `picture` picked, and `name_typed` typed into
    the save box, which is answered by `answer` (Return: Save)."""
    page.alt("f")
    page.keys("c")
    page.pick(picture)
    box = page.wait_box("the save box")
    check("save box", box["title"] == SAVE_TITLE and box["buttons"] == ["Save", "Cancel"] and box["field"]
          and box["text"] == "File name (*.ZFT):", str(box))
    page.keys(name_typed, answer)


def convert(page, picture, name_typed):
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


def the_window_back(page, what):
    page.wait_no_box(what)
    wait_for("the window back at the logo's size", lambda: page.size("#mainscreen") == (261, 230))


# Chromium's own save dialog up to where it would show: its checks run (a
# call without the user's activation is refused, SecurityError), then the
# dialog, which headless Chromium cannot show, is intercepted
# (Page.setInterceptFileChooserDialog) and answered here: a file of the
# origin's private file system under the name suggested, or, with
# window.pickerAnswer = "dismiss", dismissed as a user dismisses it.
SAVE_DIALOG = """
const ask = window.showSaveFilePicker;
window.showSaveFilePicker = async (options) => {
  window.pickerOptions = options;
  try {
    await ask.call(window, options);
    throw new Error('the save dialog was not intercepted');
  } catch (error) {
    if (error.name !== 'AbortError' || !/Intercepted/.test(error.message)) throw error;
  }
  if (window.pickerAnswer === 'dismiss') throw new DOMException('The user aborted a request.', 'AbortError');
  const folder = await navigator.storage.getDirectory();
  return folder.getFileHandle(options.suggestedName || 'unnamed.zft', {create: true});
};"""


def saved_by_chromium(page, name):
    return page.read_back(f"""
        navigator.storage.getDirectory().then(d => d.getFileHandle({name!r})).then(h => h.getFile()).then(give);""")


def a_whole_run(page, photo, downloads, today):
    """The intro clicked, a JPEG converted through the save box, compared
    with zft convert's file, then previewed; gives the file written."""
    start(page, page.url)
    if engine == "webkit":
        page.stand_in_for_the_chooser()
    click_intro(page)
    colour = "#%02x%02x%02x" % tuple(page.js("""
        return [...document.querySelector('#mainscreen canvas').getContext('2d').getImageData(0, 0, 1, 1).data].slice(0, 3);"""))
    check("window colour", colour == WINDOW_COLOURS[engine], f"{colour}, the README says {WINDOW_COLOURS[engine]}")
    box = convert(page, photo, "photo.zft")
    accept = page.js("return document.querySelector('input[type=file]').accept")
    check("open dialog's kinds", accept == ".jpg,.jpeg,.jpe,.jfif,.gif,.bmp", accept)
    check("confirmation", box["text"] == "Click <OK> to start convertion (this can take a moment)"
          and box["buttons"] == ["OK", "Cancel"] and box["role"] == "alertdialog" and box["focused"] == "OK", str(box))
    # The window fitted around the picture, which it shows from its top-left corner.
    check("window around the picture", page.size("#mainscreen") == (651, 510), str(page.size("#mainscreen")))
    shown = page.surface_sha(0, 0, 640, 480)
    finish_conversion(page)
    path = os.path.join(downloads, "photo.zft")
    if engine == "chromium":
        check("save dialog", page.js("return [window.pickerOptions.suggestedName, window.pickerOptions.types[0].description]")
              == ["photo.zft", "*.ZFT"], str(page.js("return window.pickerOptions")))
        with open(path, "wb") as f:
            f.write(saved_by_chromium(page, "photo.zft"))
    else:
        wait_for("the download of photo.zft", lambda: os.listdir(downloads) == ["photo.zft"], timeout=30)
    with open(path, "rb") as f:
        saved = f.read()
    native = zft_convert(photo, NOTICE, today, WINDOW_COLOURS[engine])
    check("saved", saved == native, f"{len(saved)} bytes, zft convert's {len(native)}")
    check("what the window showed", shown == sha(native[64:]), "not the pixels written")
    previewing(page, path)
    return path


def the_save_dialog_refused_and_cancelled(page, photo):
    """Chromium's save dialog asked without the user's activation is
    refused; cancelled in the save box or dismissed, the command ends."""
    # Opening a file chooser uses the activation up, as picking the picture does.
    refused = page.driver.execute_async_script("""
        const done = arguments[0];
        const chooser = document.createElement('input');
        chooser.type = 'file';
        chooser.click();
        window.showSaveFilePicker({}).then(() => done('shown'), (e) => done(e.name));""")
    check("save dialog without activation", refused == "SecurityError", refused)
    begin_conversion(page, photo, "cancelled.zft", Keys.ESCAPE)
    the_window_back(page, "the command to end after the save box")
    page.js("window.pickerAnswer = 'dismiss'; window.pickerOptions = null;")
    begin_conversion(page, photo, "dismissed.zft")
    wait_for("the save dialog", lambda: page.js("return window.pickerOptions"))
    the_window_back(page, "the command to end after the save dialog")
    page.js("window.pickerAnswer = null;")


def converting_to_a_download(page, downloads, gif, photo, large, huge_png, damaged, today):
    # A file of a three-character name is a file like any other, as in the
    # window, which counts a name's characters with its folder.
    short = os.path.join(scratch, "abc")
    shutil.copyfile(gif, short)
    convert(page, short, "palette.zft")
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
    the_window_back(page, "the confirmation to go")
    check("cancelled", not os.path.exists(os.path.join(downloads, "cancelled.zft")), "a file was written")

    # A picture over 999 x 999: offered reduced to fit; declined, nothing more.
    begin_conversion(page, large, "large.zft")
    box = page.wait_box("the offer to reduce it")
    check("offer to reduce", box["text"].startswith(f"Cannot convert {FOLDER}{os.path.basename(large)}: the picture is 1200 × 800")
          and box["text"].endswith("\n\nReduce it to 999 × 666 pixels?") and box["buttons"] == ["Yes", "No"], str(box))
    page.press("No")
    page.wait_no_box("the offer to go")
    check("declined", page.size("#mainscreen") == (261, 230) and page.box() is None, "the command went on")

    # A picture of 48 megapixels, reduced in the decoding worker while the
    # page goes on drawing frames; a decode on the page's own thread would
    # hold them until it ends. Cancelled at the confirmation.
    begin_conversion(page, huge_png, "reduced.zft")
    page.wait_box("the offer to reduce the large picture")
    # Frames counted from the click on Yes to the confirmation's coming.
    page.js("""let frames = 0;
        const count = () => { frames += 1; if (window.framesSeen === undefined) requestAnimationFrame(count); };
        requestAnimationFrame(count);
        window.framesSeen = undefined;
        document.addEventListener('click', () => (frames = 0), {capture: true, once: true});
        new MutationObserver((changes, observer) => {
          if (!changes.some((c) => [...c.addedNodes].some((n) => n.tagName === 'DIALOG'))) return;
          window.framesSeen = frames;
          observer.disconnect();
        }).observe(document.body, {childList: true});""")
    page.press("Yes")
    box = page.wait_box("the confirmation after the reduction")
    frames = page.js("return window.framesSeen")
    check("frames while decoding", frames >= 5, f"{frames} frames while the picture was decoded")
    check("reduced", page.size("#mainscreen") == (999 + 11, 749 + 30) and box["buttons"] == ["OK", "Cancel"],
          f"{page.size('#mainscreen')}, {box}")
    page.keys(Keys.ESCAPE)
    the_window_back(page, "the confirmation to go")

    # A damaged picture: refused in zft's words, naming the file.
    begin_conversion(page, damaged, "damaged.zft")
    box = page.wait_box("the failure")
    reason = zft_convert(damaged, NOTICE, today, "#efefef")
    wanted = f"Cannot read the picture {FOLDER}{os.path.basename(damaged)}: {reason}"
    check("damaged picture", box["text"] == wanted and box["buttons"] == ["OK"], f"{box['text']!r}, not {wanted!r}")
    page.keys(Keys.ENTER)
    the_window_back(page, "the failure to close")

    # 2.1 GB, more than the page can read into memory (a file with a hole,
    # taking no room on the disk): refused unread, in zft's words.
    huge = os.path.join(scratch, "huge.jpg")
    with open(photo, "rb") as f:
        start_of_a_jpeg = f.read(64)
    with open(huge, "wb") as f:
        f.write(start_of_a_jpeg)
        f.truncate(2_100_000_000)
    begin_conversion(page, huge, "huge.zft")
    box = page.wait_box("the refusal")
    wanted = f"Cannot read the picture {FOLDER}huge.jpg: the file is too large to read into memory"
    check("too large to read", box["text"] == wanted, f"{box['text']!r}, not {wanted!r}")
    page.keys(Keys.ENTER)
    the_window_back(page, "the refusal to close")
    os.remove(huge)


def previewing(page, path):
    with open(path, "rb") as f:
        data = f.read()
    width, height = int(data[58:61]), int(data[61:64])
    page.part("bestand").click()
    page.part("preview_zft_file").click()
    page.pick(path)
    box = page.wait_box("the header box")
    check("preview dialog's kinds", page.js("return document.querySelector('input[type=file]').accept") == ".zft", "")
    check("header box", box["title"] == FOLDER + os.path.basename(path) and box["text"] == header_lines(data)
          and box["buttons"] == ["OK"], str(box))
    page.press("OK")
    page.wait_no_box("the header box to close")
    wait_for("the window around the picture", lambda: page.size("#mainscreen") == (width + 11, height + 30))
    page.wait_shown("the preview painted", sha(data[64:]), 4, 4, width, height)
    if engine == "chromium":
        check("named picture", (("image", f"{os.path.basename(path)}, {width} × {height} pixels") in page.accessible()),
              "the surface is not named after the picture")


def previewing_a_file_cut_short(page, cut):
    """The whole pixels it has, then the reason."""
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
    wanted = f"Cannot preview {FOLDER}{os.path.basename(cut)}: file is {len(data)} bytes; its header promises {promised} (cut short)"
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
    wait_for("the end", lambda: page.shown("#ended") and not page.shown("#mainscreen") and not page.shown(".window"))


def without_wasm_unsafe_eval(page):
    """Served with a policy that forbids compiling WebAssembly, the page
    says why it cannot start in place of its windows."""
    strict = browser.Server(site, {"Content-Security-Policy": "default-src 'self'"})
    try:
        page.driver.get(strict.url)
        wait_for("the page to fail", lambda: page.js("return document.documentElement.dataset.ready") == "failed")
        said = page.element("#failed").text
        check("no WebAssembly", page.shown("#failed") and not page.shown("#mainscreen")
              and not page.shown(".window") and "cannot start: the browser did not start zft-core.wasm: " in said
              and "'wasm-unsafe-eval'" in said, said)
    finally:
        strict.stop()


def opened_with_the_installed_page(page, photo, zft_file, today):
    """Files the system opens with the installed page, each in a window of
    its own, once the intro is clicked: a ZFT previewed, a picture
    converted after the save box."""
    driver = page.driver
    home = driver.current_window_handle
    driver.execute_cdp_cmd("PWA.install", {"manifestId": page.url})
    for path in (zft_file, photo):
        before = set(driver.window_handles)
        driver.execute_cdp_cmd("PWA.launchFilesInApp", {"manifestId": page.url, "files": [path]})
        window = wait_for("the installed page's window", lambda: set(driver.window_handles) - before).pop()
        driver.switch_to.window(window)
        wait_for("the intro", lambda: page.js("return document.documentElement.dataset.ready") == "intro")
        driver.execute_cdp_cmd("Page.enable", {})
        driver.execute_cdp_cmd("Page.setInterceptFileChooserDialog", {"enabled": True})
        page.js(SAVE_DIALOG)
        click_intro(page)
        with open(path, "rb") as f:
            data = f.read()
        if path == zft_file:
            box = page.wait_box("the header box")
            check("opened ZFT file", box["title"] == FOLDER + os.path.basename(path) and box["text"] == header_lines(data),
                  str(box))
            page.press("OK")
            width, height = int(data[58:61]), int(data[61:64])
            wait_for("the window around the picture", lambda: page.size("#mainscreen") == (width + 11, height + 30))
            page.wait_shown("the opened file painted", sha(data[64:]), 4, 4, width, height)
        else:
            box = page.wait_box("the save box")
            check("opened picture", box["title"] == SAVE_TITLE, str(box))
            page.keys("launched.zft", Keys.ENTER)
            page.wait_box("the confirmation")
            finish_conversion(page)
            saved = saved_by_chromium(page, "launched.zft")
            check("opened picture converted", saved == zft_convert(path, NOTICE, today, WINDOW_COLOURS[engine]),
                  f"{len(saved)} bytes")
        driver.close()
        driver.switch_to.window(home)


def a_rebuilt_page(page, served):
    """Served with max-age=600, a rebuilt page reaches a visitor within
    two reloads: its service worker fetches the new build past the HTTP
    cache, which still holds the old one."""
    driver = page.driver
    kept = lambda: driver.execute_async_script("const done = arguments[0]; caches.keys().then(done);")  # noqa: E731
    old = wait_for("the service worker to keep the page", lambda: driver.execute_async_script("""
        const done = arguments[0];
        navigator.serviceWorker.getRegistration().then(r => done(!!(r && r.active && r.active.state === 'activated'
            && navigator.serviceWorker.controller))); """) and kept())
    # A rebuild as web/build.sh makes it: other files, and the service worker
    # naming its cache after them.
    with open(os.path.join(served, "index.html")) as f:
        html = f.read()
    with open(os.path.join(served, "index.html"), "w") as f:
        f.write(html.replace('<html lang="en">', '<html lang="en" data-build="rebuilt">'))
    with open(os.path.join(served, "page.js"), "a") as f:
        f.write('\ndocument.documentElement.dataset.script = "rebuilt";\n')
    with open(os.path.join(served, "sw.js")) as f:
        worker = f.read()
    with open(os.path.join(served, "sw.js"), "w") as f:
        f.write(re.sub(r'"zft-toolkit-[0-9a-f]+"', '"zft-toolkit-rebuilt"', worker))
    driver.refresh()
    wait_for("the rebuilt page's service worker to take over", lambda: kept() == ["zft-toolkit-rebuilt"])
    driver.refresh()
    shown = page.js("return [document.documentElement.dataset.build, document.documentElement.dataset.script]")
    check("rebuilt page after two reloads", shown == ["rebuilt", "rebuilt"], f"{shown}; kept before: {old}")


def main():
    made = dict(pictures.make_all(os.path.join(scratch, "pictures")))
    photo = next(p for p in made if p.endswith("photo_420.jpg"))
    gif = next(p for p in made if p.endswith("palette.gif"))
    large = next(p for p in made if p.endswith("photo_1200x800.jpg"))
    huge_png = os.path.join(scratch, "pictures", "gradient_8000x6000.png")
    if engine == "chromium":
        gradient = pictures.Image.linear_gradient("L")
        pictures.Image.merge("RGB", (gradient, gradient.rotate(90), gradient.rotate(180))).resize((8000, 6000)).save(
            huge_png, compress_level=1)
    damaged = os.path.join(jpeg_corpus, "refusals_jpeg_cut_short.jpg")
    downloads = os.path.join(scratch, "downloads")
    shutil.rmtree(downloads, ignore_errors=True)
    os.makedirs(downloads)
    # A copy, which a_rebuilt_page rebuilds.
    served = os.path.join(scratch, "served")
    shutil.rmtree(served, ignore_errors=True)
    shutil.copytree(site, served)

    server = browser.Server(served, {"Content-Security-Policy": CSP, "Cache-Control": "max-age=600"})
    driver = browser.start(engine, scratch, downloads)
    page = Page(driver, engine)
    page.url = server.url
    try:
        if engine == "chromium":
            driver.execute_cdp_cmd("Page.enable", {})
            driver.execute_cdp_cmd("Page.setInterceptFileChooserDialog", {"enabled": True})
            picker = driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": SAVE_DIALOG})
            the_intro(page)
            with open(os.path.join(os.path.dirname(__file__), "..", "..", "assets", "logo.jpg"), "rb") as f:
                kind, logo = browser.module_call(driver, "return await module.picture(bytes);", f.read())
            the_main_window(page, sha(logo["rgb"]))
        else:
            start(page, page.url)
        today = page.js("const d = new Date(); return [d.getMonth() + 1, d.getDate()].map(n => String(n).padStart(2, '0')).join('/') + '/' + d.getFullYear();")
        saved = a_whole_run(page, photo, downloads, today)
        without_wasm_unsafe_eval(page)
        if engine != "chromium":
            return check.ended()

        start(page, page.url)
        click_intro(page)
        the_save_dialog_refused_and_cancelled(page, photo)
        # Without a save dialog, as in browsers that have none.
        driver.execute_cdp_cmd("Page.removeScriptToEvaluateOnNewDocument", {"identifier": picker["identifier"]})
        driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument",
                               {"source": "delete Window.prototype.showSaveFilePicker; delete window.showSaveFilePicker;"})
        start(page, server.url)
        click_intro(page)
        check("no save dialog", page.js("return typeof window.showSaveFilePicker") == "undefined", "")
        converting_to_a_download(page, downloads, gif, photo, large, huge_png, damaged, today)
        previewing_a_file_cut_short(page, os.path.join(format_corpus, "cut_in_pixels.zft"))

        errors = driver.execute_cdp_cmd("Page.getInstallabilityErrors", {}).get("installabilityErrors", [])
        check("installable", errors == [], str(errors))
        opened_with_the_installed_page(page, photo, saved, today)
        exiting(page)

        a_rebuilt_page(page, served)
        # Once loaded, the page works without the server.
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
