#!/usr/bin/env bash
# What `apt install` of the packages gives a user's fresh Debian 12, checked
# by hand: it needs root, debootstrap, Debian's mirror and some ten minutes
# (half an hour with the viewers), so CTest does not run it.
#
#   fresh_install.sh PACKAGE_DIR SCRATCH_DIR [--viewers]
#
# Makes SCRATCH_DIR a new Debian 12 (debootstrap, minbase) unless it holds
# one, and installs with apt, beside what every Debian desktop has (man-db,
# xdg-utils, bash-completion), the packages of one build (PACKAGE_DIR/*.deb):
# zft alone first, which brings no Qt, GIMP, ImageMagick, Python or
# gdk-pixbuf; then zft-toolkit, which brings none of them but Qt 6; then the
# hosts' packages. It checks the file type with and without the extension,
# both manual pages, zft's thumbnails and completion, that the dpkg triggers
# put the loader in gdk-pixbuf's cache, and that removing each package, one
# at a time, takes every file of it away again. With --viewers, first installs the viewers
# a user would have (Eye of GNOME, Ristretto, Gwenview, qimgv), a Qt 5 and a
# Qt 6 program (Python's PyQt5 and PyQt6) and gdk-pixbuf's thumbnailer, and
# checks too that each viewer shows a ZFT picture pixel for pixel (found
# whole, unscaled, in a screenshot under Xvfb; Ristretto after the README's
# step for it), that the Qt programs save pictures as ZFT that zft verify
# accepts, and that gdk-pixbuf and GNOME's thumbnail factory take them; and
# that the editors and scripting hosts (GIMP in batch mode, ImageMagick's
# convert, Python's Pillow, a GTK program saving through gdk-pixbuf) open
# ZFT pictures and save the bytes zft convert writes.
set -uo pipefail
debs=$(realpath "$1")
root=$2
viewers=${3:-}
passes=0
failures=0
out=$(mktemp)

in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }
check() {  # check NAME COMMAND...: passes when the command does
    local name=$1
    shift
    if "$@" >"$out" 2>&1; then
        echo "ok: $name"
        passes=$((passes + 1))
    else
        echo "FAIL: $name"
        sed 's/^/    /' "$out" | tail -20
        failures=$((failures + 1))
    fi
}
expect() {  # expect NAME WANTED COMMAND...: passes when the command prints WANTED
    local name=$1 wanted=$2
    shift 2
    local got
    got=$("$@" 2>&1)
    if [ "$got" = "$wanted" ]; then
        echo "ok: $name ($got)"
        passes=$((passes + 1))
    else
        echo "FAIL: $name: '$got', not '$wanted'"
        failures=$((failures + 1))
    fi
}

if [ ! -x "$root/usr/bin/apt-get" ]; then
    debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian || exit 1
fi
mountpoint -q "$root/proc" || mount -t proc proc "$root/proc"
mountpoint -q "$root/dev" || mount --bind /dev "$root/dev"
cp /etc/resolv.conf "$root/etc/resolv.conf"
trap 'umount "$root/dev" "$root/proc" 2>/dev/null; rm -f "$out"' EXIT
export DEBIAN_FRONTEND=noninteractive
in_root apt-get update -qq || exit 1

if [ "$viewers" = --viewers ]; then
    in_root apt-get install -y -qq eog ristretto gwenview qimgv libgdk-pixbuf2.0-bin python3-pyqt5 python3-pyqt6 \
        python3-pil xvfb imagemagick dbus-x11 python3-gi gir1.2-gnomedesktop-3.0 gimp gir1.2-gdkpixbuf-2.0 \
        >/dev/null || exit 1
fi

# The packages, as a user installs them: zft and the window first, each
# bringing no host it does not need.
rm -rf "$root/tmp/debs"
mkdir "$root/tmp/debs"
cp "$debs"/*.deb "$root/tmp/debs/"
packages=$(cd "$debs" && ls *.deb | sed 's/_.*//')
check "man-db, xdg-utils, bash-completion" in_root apt-get install -y -q man-db xdg-utils bash-completion
installed() { in_root dpkg-query -W -f '${db:Status-Status} ${Package}\n' | sed -n 's/^installed //p' | sort; }
# install_debs PATTERN PACKAGE...: installs them, and none of the packages
# they bring may match PATTERN (an empty one lets all through).
install_debs() {
    local pattern=$1 before brought package deb debs=()
    shift
    for package in "$@"; do
        for deb in "$root/tmp/debs/${package}"_*.deb; do
            debs+=("${deb#"$root"}")
        done
    done
    before=$(installed)
    check "apt install $*" in_root apt-get install -y -q "${debs[@]}"
    brought=$(installed | comm -13 <(echo "$before") -)
    echo "    $* brought $(echo "$brought" | grep -c .) packages"
    [ -z "$pattern" ] || check "$* brought no package of another host" sh -c "! echo '$brought' | grep -E '$pattern'"
}
none_left() {  # none_left FILE...: passes when none of them is in the scratch system
    local file left=0
    for file in "$@"; do
        [ ! -e "$root$file" ] || { echo "left: $file"; left=1; }
    done
    return $left
}
install_debs '^(libqt|libgimp|gimp|libgegl|libmagick|imagemagick|python3|libgdk-pixbuf)' zft
install_debs '^(libqt5|libgimp|gimp|libgegl|libmagick|imagemagick|python3)' zft-toolkit
hosts=$(echo "$packages" | grep -v -x -e zft -e zft-toolkit)
# shellcheck disable=SC2086 # one word a package
install_debs '' $hosts

# A picture with no two pixels alike, converted by the installed zft.
python3 -c "
import sys
sys.stdout.buffer.write(b'P6 160 120 255\\n' + bytes(v for y in range(120) for x in range(160)
                        for v in (x * 37 % 256, y * 53 % 256, (x + y) * 11 % 256)))" >"$root/tmp/in.ppm"
check "zft convert" in_root zft convert --force --notice "(c) 2026 A. Painter" /tmp/in.ppm -o /tmp/picture.zft
in_root cp /tmp/picture.zft /tmp/picture
expect "xdg-mime, picture.zft" image/x-zft in_root xdg-mime query filetype /tmp/picture.zft
expect "xdg-mime, no extension" image/x-zft in_root xdg-mime query filetype /tmp/picture
check "man zft" in_root sh -c 'MANWIDTH=80 man zft | grep -q "zft-toolkit(1)"'
check "man zft-toolkit" in_root sh -c 'MANWIDTH=80 man zft-toolkit | grep -q "Convert JPG/GIF/BMP file"'
check "the thumbnailer's command" in_root sh -c \
    'cmd=$(sed -n "s/^Exec=//p" /usr/share/thumbnailers/zft.thumbnailer | sed "s|%i|/tmp/picture.zft|; s|%o|/tmp/thumb.png|; s|%s|128|"); $cmd && test -s /tmp/thumb.png'
check "bash completion" in_root bash -c \
    'source /usr/share/bash-completion/bash_completion 2>/dev/null; __load_completion zft && complete -p zft'
loaders_cache=/usr/lib/x86_64-linux-gnu/gdk-pixbuf-2.0/2.10.0/loaders.cache
check "the loader is in gdk-pixbuf's cache" in_root grep -q libpixbufloader-zft.so $loaders_cache

if [ "$viewers" = --viewers ]; then
    check "gdk-pixbuf-thumbnailer" in_root gdk-pixbuf-thumbnailer -s 128 /tmp/picture /tmp/pixbuf-thumb.png
    # GNOME's thumbnail factory runs thumbnailers in a bwrap sandbox, which
    # needs user namespaces: that it takes the type is checked here.
    check "GNOME's thumbnail factory takes image/x-zft" in_root python3 -c "
import gi
gi.require_version('GnomeDesktop', '3.0')
from gi.repository import GnomeDesktop
factory = GnomeDesktop.DesktopThumbnailFactory.new(GnomeDesktop.DesktopThumbnailSize.NORMAL)
assert factory.can_thumbnail('file:///tmp/picture', 'image/x-zft', 0)
"
    for qt in 5 6; do
        check "a Qt $qt program saves as ZFT, zft verify accepts it" in_root python3 -c "
import subprocess, sys
from PyQt$qt.QtGui import QImage, QImageWriter, QGuiApplication
from PyQt$qt.QtCore import QCoreApplication
app = QCoreApplication([])
image = QImage('/tmp/in.ppm')
image.setText('Copyright', 'saved by Qt $qt')
assert QImageWriter.supportedImageFormats().count(b'zft'), 'no zft writer'
assert image.save('/tmp/qt$qt.zft'), 'save failed'
back = QImage('/tmp/qt$qt.zft')
assert back.text('Copyright') == 'saved by Qt $qt', back.text('Copyright')
rgb32 = getattr(QImage, 'Format_RGB32', None) or QImage.Format.Format_RGB32
assert back.convertToFormat(rgb32) == image.convertToFormat(rgb32), 'pixels differ'
subprocess.run(['zft', 'verify', '/tmp/qt$qt.zft'], check=True)
"
    done

    # The editors and scripting hosts: each opens picture.zft, and saves the
    # very bytes zft convert wrote for it (same pixels, notice and day).
    check "ImageMagick's convert writes zft convert's bytes" in_root sh -c \
        'convert /tmp/in.ppm -define "zft:notice=(c) 2026 A. Painter" /tmp/magick.zft && cmp /tmp/magick.zft /tmp/picture.zft'
    check "ImageMagick's convert reads it, a round trip keeps notice and date" in_root sh -c \
        'convert /tmp/picture.zft /tmp/magick-copy.zft && cmp /tmp/magick-copy.zft /tmp/picture.zft'
    check "Pillow opens and saves it after import pillow_zft" in_root python3 -c "
import pillow_zft
from PIL import Image
im = Image.open('/tmp/picture.zft')
assert im.info['notice'] == '(c) 2026 A. Painter', im.info
assert im.tobytes() == Image.open('/tmp/in.ppm').tobytes()
im.save('/tmp/pillow.zft')
assert open('/tmp/pillow.zft', 'rb').read() == open('/tmp/picture.zft', 'rb').read()
"
    check "a GTK program saves ZFT through gdk-pixbuf" in_root python3 -c "
import gi
gi.require_version('GdkPixbuf', '2.0')
from gi.repository import GdkPixbuf
GdkPixbuf.Pixbuf.new_from_file('/tmp/in.ppm').savev('/tmp/gtk.zft', 'zft', ['notice'], ['(c) 2026 A. Painter'])
assert open('/tmp/gtk.zft', 'rb').read() == open('/tmp/picture.zft', 'rb').read()
"
    check "GIMP opens it and saves it again, notice and date kept" in_root sh -c '
cd /tmp && gimp -i -b "(let* ((image (car (gimp-file-load RUN-NONINTERACTIVE \"picture.zft\" \"picture.zft\")))
                             (layer (car (gimp-image-get-active-layer image))))
                        (gimp-file-save RUN-NONINTERACTIVE image layer \"gimp.zft\" \"gimp.zft\"))" \
    -b "(gimp-quit 0)" && cmp gimp.zft picture.zft'

    # Each viewer on a virtual screen, the picture looked for in a screenshot.
    cat >"$root/tmp/find.py" <<'EOF'
import sys
from PIL import Image
shot = Image.open(sys.argv[1]).convert('RGB')
picture = Image.open(sys.argv[2]).convert('RGB')
W, H = shot.size
w, h = picture.size
rows = [picture.crop((0, y, w, y + 1)).tobytes() for y in range(h)]
shot_rows = [shot.crop((0, y, W, y + 1)).tobytes() for y in range(H)]
for top in range(H - h + 1):
    at = shot_rows[top].find(rows[0])
    while at != -1:
        if at % 3 == 0 and all(shot_rows[top + y][at:at + 3 * w] == rows[y] for y in range(h)):
            print('found at', at // 3, top)
            sys.exit(0)
        at = shot_rows[top].find(rows[0], at + 1)
sys.exit('not found')
EOF
    in_root convert /tmp/in.ppm /tmp/in.png
    # Ristretto 0.12 asks libmagic what a file is: the administrator's step
    # the README gives, undone afterwards.
    cp "$root/etc/magic" "$root/etc/magic.before"
    cat "$root/usr/share/zft/zft.magic" >>"$root/etc/magic"
    # Processes are ended by the ids they wrote, one by one.
    in_root sh -c 'Xvfb :7 -screen 0 1600x1200x24 >/dev/null 2>&1 & echo $! >/tmp/xvfb.pid'
    sleep 3
    for viewer in eog ristretto gwenview qimgv; do
        in_root sh -c "DISPLAY=:7 dbus-run-session -- sh -c 'echo \$\$ >/tmp/viewer.pid; exec $viewer /tmp/picture.zft' >/tmp/$viewer.log 2>&1 &"
        sleep 12
        in_root sh -c "DISPLAY=:7 import -window root /tmp/$viewer.png"
        check "$viewer shows the picture pixel for pixel" in_root python3 /tmp/find.py /tmp/$viewer.png /tmp/in.png
        in_root sh -c 'kill "$(cat /tmp/viewer.pid)"'
        sleep 2
    done
    in_root sh -c 'kill "$(cat /tmp/xvfb.pid)"'
    mv "$root/etc/magic.before" "$root/etc/magic"
fi

# Each removed alone, the hosts' first, leaves nothing of itself: none of
# its files, and nothing made from them (bytecode, a cache's line).
# shellcheck disable=SC2086
for package in $hosts zft-toolkit zft; do
    files=$(in_root dpkg -L "$package" | while read -r file; do [ -d "$root$file" ] || echo "$file"; done)
    check "apt remove $package" in_root apt-get remove -y -q "$package"
    check "$package is gone" in_root sh -c "! dpkg -L $package >/dev/null 2>&1"
    # shellcheck disable=SC2086 # no blanks in the packages' paths
    check "no file of $package left" none_left $files
done
check "no plug-in left, and no bytecode of one" in_root sh -c \
    '! find /usr/lib/python3 /usr/lib/gimp /usr/lib/x86_64-linux-gnu -name "*zft*" 2>/dev/null | grep .'
check "the loader is out of gdk-pixbuf's cache" in_root sh -c "! grep -q zft $loaders_cache 2>/dev/null"
check "xdg-mime after removal: no longer image/x-zft" in_root sh -c '[ "$(xdg-mime query filetype /tmp/picture.zft)" != image/x-zft ]'

echo "fresh install: $passes passed, $failures failed"
[ "$failures" -eq 0 ]
