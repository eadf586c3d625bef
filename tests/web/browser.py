"""The page in real browsers, for the web tests and the web benchmark: the
built site served on 127.0.0.1 (a secure context, so service workers
register) and three engines driven through WebDriver, each through
Selenium's own classes so that a test drives them alike:

  chromium  Debian's headless Chromium, through chromedriver
  firefox   Firefox ESR, headless, through its own Marionette port (Debian
            has no geckodriver): Selenium's commands sent as the Marionette
            commands geckodriver would send
  webkit    WebKitGTK, Safari's engine: its MiniBrowser through
            WebKitWebDriver, in an Xvfb of its own (it has no headless mode)

A run without what it needs ends with status 77, which CTest counts as
skipped; scripts/dev.sh test installs it all."""

import base64
import http.server
import json
import os
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

SKIPPED = 77

# What each engine needs beside python3-selenium.
PROGRAMS = {
    "chromium": ("chromium", "chromedriver"),
    "firefox": ("firefox-esr",),
    "webkit": ("WebKitWebDriver", "Xvfb"),
}
MINIBROWSER = "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser"


def skip(reason):
    print(f"SKIPPED: {reason}; scripts/dev.sh test installs what is missing")
    sys.exit(SKIPPED)


def require(site, scratch=None, engine="chromium"):
    for program in PROGRAMS[engine] + ("em++",):
        if not shutil.which(program):
            skip(f"{program} is not installed")
    if engine == "webkit" and not os.access(MINIBROWSER, os.X_OK):
        skip(f"{MINIBROWSER} is not installed")
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


def wait_for(what, condition, timeout=60, every=0.05):
    """condition()'s first true value, asked every `every` seconds for at
    most `timeout` seconds (by default long enough for a page at work on
    two cores that other tests keep busy); past that, AssertionError
    naming `what`."""
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError(f"waited {timeout} s for {what}")
        time.sleep(every)


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


class Server:
    """The folder `root` on a free port of 127.0.0.1, until stop(), with
    `headers` added to every answer (a Content-Security-Policy, caching).
    Both may be changed between requests, as a server's administrator would."""

    def __init__(self, root, headers=None):
        self.root = root
        self.headers = dict(headers or {})
        server = self

        class Handler(http.server.SimpleHTTPRequestHandler):
            def __init__(self, *args, **kwargs):
                super().__init__(*args, directory=server.root, **kwargs)

            def end_headers(self):
                for name, value in server.headers.items():
                    self.send_header(name, value)
                super().end_headers()

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = f"http://127.0.0.1:{self.httpd.server_address[1]}/"
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def stop(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def start(engine, scratch, downloads=None):
    """A new browser of `engine` with a profile of its own in `scratch`,
    saving downloads into `downloads`; quit() ends it and what it started."""
    return {"chromium": chromium, "firefox": firefox, "webkit": webkit}[engine](scratch, downloads)


def chromium(scratch, downloads=None):
    """Headless Chromium (as root without its sandbox) with a profile of its own."""
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium")
    # Over a pipe, DevTools offers the installed pages' commands (PWA.*) too.
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--remote-debugging-pipe",
                     f"--user-data-dir={tempfile.mkdtemp(dir=scratch, prefix='profile-')}",
                     "--window-size=1400,1200", "--no-first-run", "--no-default-browser-check"):
        options.add_argument(argument)
    driver = webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)
    driver.set_script_timeout(180)
    if downloads:
        driver.execute_cdp_cmd("Browser.setDownloadBehavior", {"behavior": "allow", "downloadPath": downloads})
    return driver


# ---- Firefox through Marionette -------------------------------------------------

def _marionette_commands():
    """Selenium's commands that the tests send, by the names Marionette knows them."""
    from selenium.webdriver.remote.command import Command
    return {
        Command.NEW_SESSION: "WebDriver:NewSession",
        Command.QUIT: "WebDriver:DeleteSession",
        Command.GET: "WebDriver:Navigate",
        Command.REFRESH: "WebDriver:Refresh",
        Command.GET_CURRENT_URL: "WebDriver:GetCurrentURL",
        Command.SET_TIMEOUTS: "WebDriver:SetTimeouts",
        Command.W3C_EXECUTE_SCRIPT: "WebDriver:ExecuteScript",
        Command.W3C_EXECUTE_SCRIPT_ASYNC: "WebDriver:ExecuteAsyncScript",
        Command.FIND_ELEMENT: "WebDriver:FindElement",
        Command.FIND_ELEMENTS: "WebDriver:FindElements",
        Command.CLICK_ELEMENT: "WebDriver:ElementClick",
        Command.SEND_KEYS_TO_ELEMENT: "WebDriver:ElementSendKeys",
        Command.GET_ELEMENT_TEXT: "WebDriver:GetElementText",
        Command.GET_ELEMENT_RECT: "WebDriver:GetElementRect",
        Command.W3C_ACTIONS: "WebDriver:PerformActions",
        Command.W3C_CLEAR_ACTIONS: "WebDriver:ReleaseActions",
    }


class _Marionette:
    """Selenium's command executor over Marionette's TCP protocol: each
    message is its JSON's length, a colon and the JSON; a command is
    [0, id, name, parameters], its answer [1, id, error, result]."""

    def __init__(self, port):
        from selenium.webdriver.remote.command import Command
        self.new_session, self.commands = Command.NEW_SESSION, _marionette_commands()
        self.socket = socket.create_connection(("127.0.0.1", port), timeout=300)
        self.next_id = 0
        hello = self._receive()
        if hello.get("applicationType") != "gecko":
            raise RuntimeError(f"not Marionette on port {port}: {hello}")

    def _receive(self):
        length = b""
        while not length.endswith(b":"):
            got = self.socket.recv(1)
            if not got:
                raise ConnectionError("Marionette closed the connection")
            length += got
        data = bytearray()
        while len(data) < int(length[:-1]):
            got = self.socket.recv(int(length[:-1]) - len(data))
            if not got:
                raise ConnectionError("Marionette closed the connection")
            data += got
        return json.loads(data)

    def send(self, name, parameters):
        """Marionette's result of command `name`; raises its error as Selenium would."""
        self.next_id += 1
        body = json.dumps([0, self.next_id, name, parameters]).encode()
        self.socket.sendall(str(len(body)).encode() + b":" + body)
        while True:
            kind, number, error, result = self._receive()
            if kind == 1 and number == self.next_id:
                break
        if error:
            from selenium.webdriver.remote.errorhandler import ErrorHandler
            # In the shape of a W3C endpoint's error answer, which Selenium
            # turns into its exception of that name.
            ErrorHandler().check_response({"status": 500, "value": json.dumps({"value": error})})
        return result

    def execute(self, command, params):
        if command not in self.commands:
            raise NotImplementedError(f"Selenium's {command} has no Marionette command here")
        params = {k: v for k, v in (params or {}).items() if k != "sessionId"}
        if command == self.new_session:
            # Marionette takes the capabilities themselves; the defaults do.
            params = {}
        result = self.send(self.commands[command], params)
        if isinstance(result, dict) and set(result) == {"value"}:
            result = result["value"]
        return {"value": result}

    def close(self):
        self.socket.close()


def firefox(scratch, downloads=None):
    """Headless Firefox ESR with a profile of its own, driven through its
    Marionette port, which it writes into the profile once it listens."""
    from selenium.webdriver.remote.webdriver import WebDriver

    profile = tempfile.mkdtemp(dir=scratch, prefix="firefox-")
    prefs = {
        "marionette.port": 0,
        "browser.shell.checkDefaultBrowser": False,
        "browser.aboutwelcome.enabled": False,
        "datareporting.policy.dataSubmissionEnabled": False,
        "toolkit.telemetry.reportingpolicy.firstRun": False,
    }
    if downloads:
        prefs.update({
            "browser.download.folderList": 2,
            "browser.download.dir": os.path.abspath(downloads),
            "browser.download.useDownloadDir": True,
            "browser.download.always_ask_before_handling_new_types": False,
            "browser.helperApps.neverAsk.saveToDisk": "application/octet-stream",
        })
    with open(os.path.join(profile, "user.js"), "w") as f:
        for name, value in prefs.items():
            f.write(f"user_pref({json.dumps(name)}, {json.dumps(value)});\n")
    log = open(os.path.join(profile, "firefox.log"), "wb")
    process = subprocess.Popen([shutil.which("firefox-esr"), "-headless", "-marionette", "-no-remote",
                                "-profile", profile], stdout=log, stderr=subprocess.STDOUT,
                               env=dict(os.environ, MOZ_CRASHREPORTER_DISABLE="1"))
    port_file = os.path.join(profile, "MarionetteActivePort")

    def port():
        if not os.path.exists(port_file):
            return None
        with open(port_file) as f:
            return f.read().strip()

    try:
        wait_for("Firefox to open its Marionette port", lambda: process.poll() is not None or port(), timeout=60)
        if process.poll() is not None:
            raise RuntimeError(f"Firefox ended at its start, status {process.returncode}; see {log.name}")
        marionette = _Marionette(int(port()))
    except BaseException:
        process.kill()
        raise

    class Firefox(WebDriver):
        def quit(self):
            try:
                marionette.send("Marionette:Quit", {})
            except Exception:
                pass
            marionette.close()
            try:
                process.wait(30)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
            log.close()

    driver = Firefox(command_executor=marionette)
    # Files are the browser's own, on this machine: not uploaded.
    driver._is_remote = False
    driver.set_script_timeout(180)
    return driver


# ---- WebKitGTK under Xvfb -------------------------------------------------------

class Xvfb:
    """An X server of its own on a display it picks among the free ones
    (-displayfd writes its number once it accepts connections), until stop()."""

    def __init__(self, scratch):
        read, write = os.pipe()
        self.log = open(os.path.join(scratch, "xvfb.log"), "wb")
        self.process = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1400x1200x24",
                                         "-nolisten", "tcp", "-noreset"], pass_fds=(write,),
                                        stdout=self.log, stderr=subprocess.STDOUT)
        os.close(write)
        number = b""
        end = time.monotonic() + 30
        try:
            while not number.endswith(b"\n"):
                if not select.select([read], [], [], max(0, end - time.monotonic()))[0]:
                    raise AssertionError("waited 30 s for Xvfb to pick a display")
                got = os.read(read, 16)
                if not got:
                    raise RuntimeError(f"Xvfb ended at its start; see {self.log.name}")
                number += got
        except BaseException:
            self.stop()
            raise
        finally:
            os.close(read)
        self.display = ":" + number.decode().strip()

    def stop(self):
        # SIGTERM, so that it removes its socket and lock file.
        self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(15)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.log.close()


def webkit(scratch, downloads=None):
    """WebKitGTK's MiniBrowser in automation mode, through WebKitWebDriver,
    on an Xvfb of its own; it saves downloads into the XDG download folder,
    which its scratch settings name."""
    from selenium import webdriver
    from selenium.webdriver.webkitgtk.options import Options

    home = tempfile.mkdtemp(dir=scratch, prefix="webkit-")
    config = os.path.join(home, "config")
    os.makedirs(config)
    with open(os.path.join(config, "user-dirs.dirs"), "w") as f:
        f.write(f'XDG_DOWNLOAD_DIR="{os.path.abspath(downloads or home)}"\n')
    x = Xvfb(home)
    # WebKitWebDriver starts the browser with this process's environment.
    os.environ.update(DISPLAY=x.display, HOME=home, XDG_CONFIG_HOME=config,
                      XDG_RUNTIME_DIR=tempfile.mkdtemp(dir=home, prefix="runtime-"))
    options = Options()
    options.binary_location = MINIBROWSER
    options.add_argument("--automation")
    try:
        driver = webdriver.WebKitGTK(executable_path=shutil.which("WebKitWebDriver"), options=options,
                                     service_log_path=os.path.join(home, "webkitwebdriver.log"))
    except BaseException:
        x.stop()
        raise
    quit_browser = driver.quit

    def quit():
        try:
            quit_browser()
        finally:
            x.stop()

    driver.quit = quit
    driver.set_script_timeout(180)
    return driver


def b64(data):
    return base64.b64encode(data).decode("ascii")


# Runs in the page: `call(module, bytes)` with the module zft.js; hands
# back what it gives, with every Uint8Array in it as base64, or the
# ZftError it throws as {error: {reason, kind, sentence}}. The call is
# written into the script, not compiled from a string in the page, which a
# Content-Security-Policy forbids.
_MODULE_CALL = """
const [input, done] = arguments;
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
const call = async (module, bytes) => {
@CALL@
};
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
    outcome = driver.execute_async_script(_MODULE_CALL.replace("@CALL@", source), b64(data))
    if "error" in outcome:
        return "error", outcome["error"]
    return "value", unbase64(outcome["value"])
