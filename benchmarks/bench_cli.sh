#!/bin/sh
# zft as whole processes against djpeg, side by side in one run, alternating
# run by run so that both meet the same moments of a busy machine:
#   1. one 999 × 999 JPEG: `zft convert` against `djpeg -ppm` (aim: zft at
#      most 1.25 × djpeg's time);
#   2. 50 such JPEGs: one `zft convert -d` call against a loop of 50 djpeg
#      processes (aim: zft at least 2.5 × faster, on two cores).
# Every run writes new files, as a first conversion does: outputs are
# removed, untimed, before each run, for both tools alike.
#
# Usage: benchmarks/bench_cli.sh [BUILD_DIR] [RUNS]   (default: build, 60)
# Needs: djpeg (libjpeg-turbo-progs), ImageMagick (/usr/bin/convert, or
# IMAGEMAGICK) to draw the picture, python3. Medians of wall-clock times;
# the load average is printed before and after.
set -eu
build=$(cd "${1:-build}" && pwd)
runs=${2:-60}
zft=$build/cli/zft
imagemagick=${IMAGEMAGICK:-/usr/bin/convert}
for tool in djpeg python3 "$zft" "$imagemagick"; do
    command -v "$tool" >/dev/null || { echo "bench_cli: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# A photograph-like picture, the same every run.
"$imagemagick" -seed 7 -size 999x999 plasma:fractal -blur 0x1 -quality 90 x.jpg
mkdir batch
i=1
while [ $i -le 50 ]; do
    cp x.jpg "batch/p$i.jpg"
    i=$((i + 1))
done

ZFT=$zft RUNS=$runs python3 - <<'PY'
import os, shutil, statistics, subprocess, time

zft, runs = os.environ["ZFT"], int(os.environ["RUNS"])
batch = sorted(f"batch/{name}" for name in os.listdir("batch"))

def timed(command, clean):
    clean()
    start = time.perf_counter()
    subprocess.run(command, check=True, shell=isinstance(command, str))
    return time.perf_counter() - start

def removed(*paths):
    def clean():
        for path in paths:
            shutil.rmtree(path, ignore_errors=True) if os.path.isdir(path) else (os.path.exists(path) and os.unlink(path))
    return clean

def fresh_folder(path):
    def clean():
        shutil.rmtree(path, ignore_errors=True)
        os.mkdir(path)
    return clean

djpeg_loop = "for f in batch/*.jpg; do n=${f##*/}; djpeg -ppm -outfile \"out-djpeg/${n%.jpg}.ppm\" \"$f\"; done"
print(f"cores: {os.cpu_count()}; load before: {open('/proc/loadavg').read().split()[0]}")
single = {"zft": [], "djpeg": []}
many = {"zft": [], "djpeg": []}
for run in range(3 + runs):  # the first three warm the caches
    one = (timed([zft, "convert", "x.jpg", "-o", "x.zft"], removed("x.zft")),
           timed(["djpeg", "-ppm", "-outfile", "x.ppm", "x.jpg"], removed("x.ppm")))
    if run >= 3:
        single["zft"].append(one[0]); single["djpeg"].append(one[1])
    if run % 6 == 0:  # the batches take longer: a sixth as many runs
        fifty = (timed([zft, "convert", "-d", "out-zft"] + batch, fresh_folder("out-zft")),
                 timed(djpeg_loop, fresh_folder("out-djpeg")))
        if run >= 3:
            many["zft"].append(fifty[0]); many["djpeg"].append(fifty[1])
print(f"load after: {open('/proc/loadavg').read().split()[0]}")

def ms(values):
    return f"{statistics.median(values) * 1000:.1f} ms (spread {min(values) * 1000:.1f} to {max(values) * 1000:.1f})"
zft1, djpeg1 = statistics.median(single["zft"]), statistics.median(single["djpeg"])
zft50, djpeg50 = statistics.median(many["zft"]), statistics.median(many["djpeg"])
print(f"one file:  zft {ms(single['zft'])}, djpeg {ms(single['djpeg'])}")
print(f"           zft / djpeg = {zft1 / djpeg1:.2f}   aim: at most 1.25")
print(f"50 files:  zft {ms(many['zft'])}, djpeg loop {ms(many['djpeg'])}")
print(f"           djpeg loop / zft = {djpeg50 / zft50:.2f}   aim: at least 2.5")
PY
