"""The page in a real browser, for the web tests and the web benchmark:
the built site served on 127.0.0.1 (a secure context, so service workers
register) and Debian's headless Chromium driven through chromedriver.

A run without what it needs (Chromium, chromedriver, python3-selenium,
emscripten) ends with status 77, which CTest counts as skipped;
scripts/dev.sh test installs them."""

import base64
import functools
import http.server
import os
import shutil
import sys
import tempfile
import threading

SKIPPED = 77


def skip(reason):
    print(f"SKIPPED: {reason}; scripts/dev.sh test installs what is missing")
    sys.exit(SKIPPED)


def require(site, scratch=None):
    for program in ("chromium", "chromedriver", "em++"):
        if not shutil.which(program):
            skip(f"{program} is not installed")
    try:
        import selenium  # noqa: F401
    except ImportError:
        skip("python3-selenium is not installed")
    try:
        import PIL  # noqa: F401
    except ImportError:
        skip("python3-pil is not installed")
    if not os.path.isfile(os.path.join(site, "index.html")):
        sys.exit(f"FAIL: no page in {site}: scripts/dev.sh web --build-only builds it")
    if scratch:
        os.makedirs(scratch, exist_ok=True)


class Checks:
    """Failures gathered as they come; a test ends with ended()."""

    def __init__(self):
        self.failures = []

    def __call__(self, what, ok, detail=""):
        if not ok:
            self.failures.append(f"{what}: {detail}")
            print(f"FAIL: {what}: {detail}", flush=True)

    def ended(self):
        print(f"{len(self.failures)} failures")
        return 1 if self.failures else 0


class _Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class Server:
    """The site on a free port of 127.0.0.1, until stop()."""

    def __init__(self, site):
        handler = functools.partial(_Quiet, directory=site)
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.url = f"http://127.0.0.1:{self.httpd.server_address[1]}/"
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def stop(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def chromium(scratch, downloads=None):
    """Headless Chromium (as root without its sandbox) with a profile of its own."""
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium")
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     f"--user-data-dir={tempfile.mkdtemp(dir=scratch, prefix='profile-')}",
                     "--window-size=1400,1200", "--no-first-run", "--no-default-browser-check"):
        options.add_argument(argument)
    driver = webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)
    driver.set_script_timeout(180)
    if downloads:
        driver.execute_cdp_cmd("Browser.setDownloadBehavior", {"behavior": "allow", "downloadPath": downloads})
    return driver


def b64(data):
    return base64.b64encode(data).decode("ascii")


# Runs in the page: `call(module, bytes)` with the module zft.js; hands
# back what it gives, with every Uint8Array in it as base64, or the
# ZftError it throws as {error: {reason, kind, sentence}}.
_MODULE_CALL = """
const [source, input, done] = arguments;
const toBase64 = (bytes) => {
  let text = "";
  for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  return btoa(text);
};
const plain = (value) => {
  if (value instanceof Uint8Array) return {base64: toBase64(value)};
  if (Array.isArray(value)) return value.map(plain);
  if (value && typeof value === "object") return Object.fromEntries(Object.entries(value).map(([k, v]) => [k, plain(v)]));
  return value;
};
const bytes = Uint8Array.from(atob(input), (c) => c.charCodeAt(0));
const call = new Function("module", "bytes", "return (async () => {" + source + "})()");
import("./zft.js")
  .then((module) => call(module, bytes))
  .then((value) => done({value: plain(value)}),
        (e) => done({error: {name: e.name, reason: e.message, kind: e.kind, sentence: e.sentence}}));
"""


def unbase64(value):
    if isinstance(value, list):
        return [unbase64(v) for v in value]
    if isinstance(value, dict):
        if set(value) == {"base64"}:
            return base64.b64decode(value["base64"])
        return {k: unbase64(v) for k, v in value.items()}
    return value


def module_call(driver, source, data):
    """Runs the async function body `source` in the page with `module`
    (zft.js) and `bytes` (`data`); gives ("value", what it returned) with
    its byte arrays as bytes, or ("error", {reason, kind, sentence})."""
    outcome = driver.execute_async_script(_MODULE_CALL, source, b64(data))
    if "error" in outcome:
        return "error", outcome["error"]
    return "value", unbase64(outcome["value"])
