#!/usr/bin/python3
"""The page's budgets, measured: everything it loads at most 800 KB as
`gzip -9` compresses it, and converting a 999 x 999 photograph (JPEG) in
the page in headless Chromium at most 2.5 times what `zft convert` takes
for it as a whole process, the two measured side by side in this run.
Prints both; exits 1 when a budget is exceeded.

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
SPEED_BUDGET = 2.5
RUNS = 21

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(top, "build"))
site = os.path.join(build, "web", "site")
zft = os.path.join(build, "cli", "zft")
browser.require(site)
scratch = tempfile.mkdtemp(prefix="bench-web-")

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


server = browser.Server(site)
driver = browser.chromium(scratch)
try:
    driver.get(server.url + "index.html")
    # Turn about, so that the machine's load weighs on both alike.
    convert_once = """
        if (!window.benchWarm) {  // the module compiled and warm first
          await module.convert(bytes, {notice: "bench", date: "01/02/2026"});
          window.benchWarm = true;
        }
        const started = performance.now();
        await module.convert(bytes, {notice: "bench", date: "01/02/2026"});
        return (performance.now() - started) / 1000;"""
    native_once()
    page_times, native_times = [], []
    for _ in range(RUNS):
        kind, value = browser.module_call(driver, convert_once, data)
        if kind != "value":
            sys.exit(f"the page refused the photograph: {value}")
        page_times.append(value)
        native_times.append(native_once())
finally:
    driver.quit()
    server.stop()

page = statistics.median(page_times)
native = statistics.median(native_times)
ratio = page / native
print(f"999 x 999 JPEG, median of {RUNS}: page {page * 1000:.1f} ms, zft convert {native * 1000:.1f} ms, "
      f"ratio {ratio:.2f} (budget {SPEED_BUDGET}); fastest: page {min(page_times) * 1000:.1f} ms, "
      f"zft convert {min(native_times) * 1000:.1f} ms")
ok = total <= SIZE_BUDGET and ratio <= SPEED_BUDGET
print("within budget" if ok else "OVER BUDGET")
sys.exit(0 if ok else 1)
