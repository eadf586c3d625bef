#!/bin/sh
# zft as whole processes, side by side in one run:
#   1. one 999 × 999 JPEG: `zft convert` against `djpeg -ppm` and ImageMagick's
#      `convert x.jpg x.ppm` on the same file;
#   2. 50 such JPEGs: one `zft convert -d` call against a loop of 50 djpeg
#      processes.
# Aims: the single file ahead of ImageMagick; the batch at least 1.5 × faster
# than the djpeg loop on two cores.
#
# Usage: benchmarks/bench_cli.sh [BUILD_DIR]     (default: build)
# Needs: hyperfine, djpeg (libjpeg-turbo-progs), ImageMagick, python3. The
# ImageMagick program is /usr/bin/convert unless IMAGEMAGICK names another;
# some machines put a different `convert` first on the PATH.
# The times are wall-clock: run it on a quiet machine. The load average is
# printed before and after, and hyperfine's ± shows the spread.
set -eu
build=$(cd "${1:-build}" && pwd)
zft=$build/cli/zft
imagemagick=${IMAGEMAGICK:-/usr/bin/convert}
for tool in hyperfine djpeg python3 "$zft" "$imagemagick"; do
    command -v "$tool" >/dev/null || { echo "bench_cli: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# A photograph-like picture, the same every run.
"$imagemagick" -seed 7 -size 999x999 plasma:fractal -blur 0x1 -quality 90 x.jpg
mkdir batch zft-out djpeg-out
i=1
while [ $i -le 50 ]; do
    cp x.jpg "batch/p$i.jpg"
    i=$((i + 1))
done

# Every run writes new files, as a first conversion does: the last run's
# outputs are removed untimed before each run, for every tool alike (ext4
# makes replacing a file cost a flush, whichever way it is replaced).
echo "cores: $(nproc); load before: $(cut -d' ' -f1-3 /proc/loadavg)"
hyperfine -N --warmup 3 --runs 30 --export-json single.json --prepare "rm -f x.zft x.ppm im.ppm" \
    -n "zft convert" "$zft convert x.jpg -o x.zft" \
    -n "djpeg -ppm" "djpeg -ppm -outfile x.ppm x.jpg" \
    -n "ImageMagick convert" "$imagemagick x.jpg im.ppm"
hyperfine --warmup 2 --runs 10 --export-json batch.json \
    --prepare "rm -rf zft-out djpeg-out && mkdir zft-out djpeg-out" \
    -n "zft convert, 50 files" "'$zft' convert -d zft-out batch/*.jpg" \
    -n "djpeg loop, 50 files" \
    'for f in batch/*.jpg; do n=${f##*/}; djpeg -ppm -outfile "djpeg-out/${n%.jpg}.ppm" "$f"; done'
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

python3 - <<'PY'
import json
def means(name):
    return {r["command"]: r for r in json.load(open(name))["results"]}
single, batch = means("single.json"), means("batch.json")
def ms(r):
    return f"{r['mean'] * 1000:.1f} ± {r['stddev'] * 1000:.1f} ms"
def show(what, ours, theirs, aim):
    ratio = theirs["mean"] / ours["mean"]
    print(f"{what}: {ratio:.2f} x   (theirs {ms(theirs)}, zft {ms(ours)})   aim {aim}")
print()
show("single file, ImageMagick / zft", single["zft convert"], single["ImageMagick convert"], "> 1")
show("single file, djpeg / zft      ", single["zft convert"], single["djpeg -ppm"], "(reference)")
show("50 files, djpeg loop / zft    ", batch["zft convert, 50 files"], batch["djpeg loop, 50 files"], ">= 1.5")
PY
