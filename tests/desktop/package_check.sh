#!/bin/sh
# Makes the Debian package from a built tree and checks it as dpkg sees it:
# its control fields, its files and where they lie, its maintainer scripts
# (none: the triggers of the packages owning the caches do their work), and
# lintian's verdict:
#   package_check.sh BUILD_DIR VERSION
set -eu
build=$1
version=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --build "$build" --target package >"$build/package.log" 2>&1 || { cat "$build/package.log"; fail "making the package"; }
deb="$build/zft-toolkit_${version}_amd64.deb"
[ -f "$deb" ] || fail "no $deb"

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = zft-toolkit ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = amd64 ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = graphics ] || fail "Section: $(field Section)"
depends=$(field Depends)
for package in libqt6gui6 libqt6widgets6 libqt5gui5 libgdk-pixbuf-2.0-0 libturbojpeg0 libjpeg62-turbo libgif7 \
        libpng16-16 libgimp2.0 libmagickcore-6.q16-6 hicolor-icon-theme shared-mime-info; do
    echo "$depends" | grep -q "\\b$package\\b" || fail "Depends lacks $package: $depends"
done
# ICU, linked for the notice's Unicode rules, found by dpkg-shlibdeps as the rest.
echo "$depends" | grep -q '\blibicu72\b' || fail "Depends lacks libicu72: $depends"

# The files, where each library asked says they belong.
listing=$(dpkg-deb -c "$deb")
qt5_plugins=$(/usr/lib/qt5/bin/qmake -query QT_INSTALL_PLUGINS)
qt6_plugins=$(/usr/lib/qt6/bin/qtpaths6 --query QT_INSTALL_PLUGINS)
pixbuf_loaders=$(pkg-config --variable=gdk_pixbuf_moduledir gdk-pixbuf-2.0)
completions=$(pkg-config --variable=completionsdir bash-completion)
gimp_plug_ins=$(pkg-config --variable=gimplibdir gimp-2.0)/plug-ins
magick_coders=$(/usr/bin/convert -list configure | sed -n 's/^CODER_PATH *//p')
python_modules=/usr/lib/python3/dist-packages
for file in /usr/bin/zft /usr/bin/zft-toolkit /usr/share/man/man1/zft.1.gz /usr/share/man/man1/zft-toolkit.1.gz \
            /usr/share/applications/zft-toolkit.desktop /usr/share/mime/packages/zft-toolkit.xml \
            /usr/share/thumbnailers/zft.thumbnailer /usr/share/icons/hicolor/scalable/mimetypes/image-x-zft.svg \
            /usr/share/icons/hicolor/48x48/apps/zft-toolkit.png /usr/share/doc/zft-toolkit/copyright \
            /usr/share/doc/zft-toolkit/changelog.gz "$completions/zft" "$qt5_plugins/imageformats/libzft.so" \
            "$qt6_plugins/imageformats/libzft.so" "$pixbuf_loaders/libpixbufloader-zft.so" \
            /usr/share/zft-toolkit/zft.magic "$gimp_plug_ins/file-zft/file-zft" "$magick_coders/zft.so" \
            "$magick_coders/zft.la" "$python_modules/pillow_zft.cpython-311-x86_64-linux-gnu.so"; do
    echo "$listing" | grep -q " \\.$file\$" || fail "the package lacks $file"
done
# Only files of its own: under /usr, owned by root, and no cache that a
# trigger makes (it would belong to no package and clash with the real one).
echo "$listing" | awk '{ print $6 }' | grep -v '^\./usr/' | grep -v '^\./$' && fail "files outside /usr"
echo "$listing" | awk '$2 != "root/root" { print; bad = 1 } END { exit bad }' || fail "files not owned by root"
echo "$listing" | grep -E 'mime\.cache|icon-theme\.cache|mimeinfo\.cache|loaders\.cache' && fail "a generated cache is packed"
# No Python source: its bytecode, made where it is imported, would belong to
# no package and stay behind on removal.
echo "$listing" | grep -E '\.py$|__pycache__|\.pyc$' && fail "Python source or bytecode is packed"

# The hosts' plug-ins as the package has them (stripped), each run by its
# host from the unpacked package: GIMP's is checked by fresh_install.sh.
unpacked=$(mktemp -d)
dpkg-deb -x "$deb" "$unpacked"
printf 'P6 3 2 255\n%s' 'abcdefghijklmnopqr' >"$unpacked/in.ppm"
MAGICK_CODER_MODULE_PATH="$unpacked$magick_coders:$magick_coders" /usr/bin/convert "$unpacked/in.ppm" \
    "$unpacked/magick.zft" || fail "ImageMagick with the packed coder"
[ "$(head -c 2 "$unpacked/magick.zft")" = 1A ] || fail "ImageMagick's ZFT from the packed coder"
PYTHONPATH="$unpacked$python_modules" /usr/bin/python3 -c "
import pillow_zft
from PIL import Image
assert Image.open('$unpacked/magick.zft').size == (3, 2)
" || fail "Pillow with the packed module"
rm -rf "$unpacked"

# No maintainer scripts; each folder whose cache needs refreshing has a
# package with a dpkg trigger on it.
control=$(mktemp -d)
dpkg-deb -e "$deb" "$control"
scripts=$(ls "$control" | grep -v -x -e control -e md5sums || true)
[ -z "$scripts" ] || fail "maintainer scripts or triggers in the package: $scripts"
for folder in /usr/share/mime/packages /usr/share/icons/hicolor /usr/share/applications "$pixbuf_loaders" /usr/share/man; do
    cat /var/lib/dpkg/info/*.triggers | grep -q "^interest[a-z-]* $folder\$" || fail "no installed package triggers on $folder"
done
rm -rf "$control"

# lintian: no errors. Its warnings are shown, not judged.
lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian reports errors"
echo "package $deb checked"
