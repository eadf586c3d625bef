#!/usr/bin/python3
"""The page's budgets, measured: everything it loads at most 800 KB as
`gzip -9` compresses it, and converting a 999 x 999 photograph (JPEG) in
the page's module (zft.js's convert(): the decoders and the codec the
page's commands run, compiled to WebAssembly) in headless Chromium at most
1.1 times what `zft convert` takes for it as a whole process, the two
measured side by side in this run.

The page's File > Convert, driven by its keys, is timed beside them: what
the page spends between the user's answers, from Return in the save box to
the confirmation (the picture handed to the decoding worker, decoded, and
drawn on the window) and from Return in the notice box to the success box
(the file made and handed to the browser, here as a download). It has no
budget of its own: the decode alone takes most of zft convert's whole
time, and the hand-over to the worker and the drawing come on top. Prints
the figures with the machine's load; exits 1 when a budget is exceeded.

    benchmarks/bench_web.py [BUILD]      (BUILD is build/ unless given)
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(top, "tests", "web"))
import browser  # noqa: E402
import pictures  # noqa: E402

SIZE_BUDGET = 800_000
SPEED_BUDGET = 1.1
RUNS = 21

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(top, "build"))
site = os.path.join(build, "web", "site")
zft = os.path.join(build, "cli", "zft")
browser.require(site)
scratch = tempfile.mkdtemp(prefix="bench-web-")
from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402

# Sizes: every file of the site, each as gzip -9 gives it.
total = 0
print("gzip -9 sizes:")
for name in sorted(os.listdir(site)):
    packed = len(subprocess.run(["gzip", "-9", "-c", os.path.join(site, name)], capture_output=True,
                                check=True).stdout)
    total += packed
    print(f"  {name:24} {os.path.getsize(os.path.join(site, name)):>9,} -> {packed:>9,}")
print(f"  {'all':24} {'':>9}    {total:>9,} bytes (budget {SIZE_BUDGET:,})")

# Speed: a 999 x 999 photograph, 4:2:0 as cameras save them.
photo = os.path.join(scratch, "photo.jpg")
pictures.photograph(999, 999).save(photo, quality=90, subsampling=2)
with open(photo, "rb") as f:
    data = f.read()
out = os.path.join(scratch, "photo.zft")


def native_once():
    started = time.perf_counter()
    subprocess.run([zft, "convert", "--force", "--notice", "bench", "--date", "01/02/2026", photo, "-o", out],
                   check=True)
    return time.perf_counter() - started


# In the page: when each box came and when Return answered one.
MARKS = """
window.marks = [];
document.addEventListener('keydown', (e) => {
  if (e.key === 'Enter' && document.querySelector('dialog[open]')) marks.push(['return', performance.now()]);
}, true);
new MutationObserver((changes) => {
  if (changes.some((c) => [...c.addedNodes].some((n) => n.tagName === 'DIALOG'))) marks.push(['box', performance.now()]);
}).observe(document.body, {childList: true});"""


def boxes(driver):
    """The open box's buttons and whether it takes a text; None without one."""
    return driver.execute_script("""const d = document.querySelector('dialog[open]');
        return d && [[...d.querySelectorAll('.box-buttons button')].map(b => b.textContent), !!d.querySelector('input')];""")


def page_once(driver, downloads):
    """One conversion through the page's windows; the seconds it worked."""
    driver.execute_script("window.marks = [];")
    keys = ActionChains(driver)
    keys.key_down(Keys.ALT).send_keys("f").key_up(Keys.ALT).send_keys("c").perform()
    driver.find_element(By.CSS_SELECTOR, "input[type=file]").send_keys(photo)
    browser.wait_for("the save box", lambda: (boxes(driver) or [0, False])[1])
    ActionChains(driver).send_keys("bench.zft", Keys.ENTER).perform()
    browser.wait_for("the confirmation", lambda: boxes(driver) == [["OK", "Cancel"], False], timeout=60)
    ActionChains(driver).send_keys(Keys.ENTER).perform()
    browser.wait_for("the notice box", lambda: (boxes(driver) or [0, False])[1])
    ActionChains(driver).send_keys("bench", Keys.ENTER).perform()
    browser.wait_for("the success box", lambda: boxes(driver) == [["OK"], False], timeout=60)
    ActionChains(driver).send_keys(Keys.ENTER).perform()
    browser.wait_for("the box to close", lambda: boxes(driver) is None)
    marks = driver.execute_script("return marks")
    kinds = [kind for kind, _ in marks]
    if kinds[:7] != ["box", "return", "box", "return", "box", "return", "box"]:
        sys.exit(f"the conversion went otherwise than measured: {kinds}")
    at = [when for _, when in marks]
    for name in os.listdir(downloads):
        os.remove(os.path.join(downloads, name))
    return ((at[2] - at[1]) + (at[6] - at[5])) / 1000


server = browser.Server(site)
downloads = os.path.join(scratch, "downloads")
os.makedirs(downloads)
driver = browser.chromium(scratch, downloads)
try:
    # Without a save dialog: the file is downloaded, as in browsers that have none.
    driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument",
                           {"source": "delete Window.prototype.showSaveFilePicker; delete window.showSaveFilePicker;"})
    driver.execute_cdp_cmd("Page.enable", {})
    driver.execute_cdp_cmd("Page.setInterceptFileChooserDialog", {"enabled": True})
    driver.get(server.url + "index.html")
    browser.wait_for("the intro", lambda: driver.execute_script("return document.documentElement.dataset.ready") == "intro")
    driver.find_element(By.CSS_SELECTOR, '[data-name="intro"]').click()
    browser.wait_for("the main window", lambda: driver.execute_script(
        "return !document.getElementById('mainscreen').hidden"))
    driver.execute_script(MARKS)
    module_once = """
        if (!window.benchWarm) {  // the module compiled and warm first
          await module.convert(bytes, {notice: "bench", date: "01/02/2026"});
          window.benchWarm = true;
        }
        const started = performance.now();
        await module.convert(bytes, {notice: "bench", date: "01/02/2026"});
        return (performance.now() - started) / 1000;"""
    # Warm, each of them once; then turn about, so that the machine's load
    # weighs on all alike.
    native_once()
    page_once(driver, downloads)
    page_times, module_times, native_times = [], [], []
    loads = [os.getloadavg()[0]]
    for _ in range(RUNS):
        page_times.append(page_once(driver, downloads))
        kind, value = browser.module_call(driver, module_once, data)
        if kind != "value":
            sys.exit(f"zft.js refused the photograph: {value}")
        module_times.append(value)
        native_times.append(native_once())
    loads.append(os.getloadavg()[0])
finally:
    driver.quit()
    server.stop()

page = statistics.median(page_times)
module = statistics.median(module_times)
native = statistics.median(native_times)
ratio = module / native
print(f"999 x 999 JPEG, median of {RUNS}, load average {loads[0]:.1f} to {loads[1]:.1f} on {os.cpu_count()} cores:")
print(f"  the module (zft.js convert()) {module * 1000:.1f} ms, zft convert {native * 1000:.1f} ms, ratio {ratio:.2f} "
      f"(budget {SPEED_BUDGET}); fastest: module {min(module_times) * 1000:.1f} ms, "
      f"zft convert {min(native_times) * 1000:.1f} ms")
print(f"  the page's File > Convert {page * 1000:.1f} ms, {page / native:.2f} times zft convert's; "
      f"fastest {min(page_times) * 1000:.1f} ms")
ok = total <= SIZE_BUDGET and ratio <= SPEED_BUDGET
print("within budget" if ok else "OVER BUDGET")
sys.exit(0 if ok else 1)
