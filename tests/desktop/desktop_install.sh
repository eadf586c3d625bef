#!/bin/sh
# Installs the build into a scratch prefix, as a user would, and checks
# the desktop files with the freedesktop.org tools, and the plugins the
# build has (qt6, qt5, pixbuf) where they belong:
#   desktop_install.sh BUILD_DIR PREFIX [PLUGIN...]
set -eu
build=$1
prefix=$2
shift 2
plugins=" $* "
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1 || { cat "$prefix.log"; fail "cmake --install"; }

for file in bin/zft bin/zft-toolkit share/man/man1/zft.1.gz share/man/man1/zft-toolkit.1.gz \
            share/thumbnailers/zft.thumbnailer share/bash-completion/completions/zft \
            share/applications/zft-toolkit.desktop share/mime/packages/zft-toolkit.xml \
            share/icons/hicolor/32x32/apps/zft-toolkit.png share/icons/hicolor/scalable/apps/zft-toolkit.svg \
            share/icons/hicolor/48x48/mimetypes/image-x-zft.png; do
    [ -f "$prefix/$file" ] || fail "$file was not installed"
done

# Each plugin and the loader where its own library's folder lies, under the
# prefix; with a prefix that is not theirs, the lines that point them there.
# A plugin the build has not is installed nowhere.
for qt in qt5 qt6; do
    plugin=$(find "$prefix" -path "*/$qt/plugins/imageformats/libzft.so")
    case $plugins in
    *" $qt "*)
        [ -n "$plugin" ] || fail "no $qt image plugin under $prefix"
        grep -q "export QT_PLUGIN_PATH=.*${plugin%/imageformats/libzft.so}" "$prefix.log" ||
            fail "no QT_PLUGIN_PATH line for $plugin" ;;
    *) [ -z "$plugin" ] || fail "a $qt image plugin from a build without it: $plugin" ;;
    esac
done
loader=$(find "$prefix" -path '*/gdk-pixbuf-2.0/2.10.0/loaders/libpixbufloader-zft.so')
case $plugins in
*" pixbuf "*)
    [ -n "$loader" ] || fail "no gdk-pixbuf loader under $prefix"
    cache=$(sed -n 's/.*export GDK_PIXBUF_MODULE_FILE=//p' "$prefix.log")
    grep -q "\"$loader\"" "$cache" || fail "the loader is not in the cache the install names: $cache"
    grep -q 'libpixbufloader-bmp.so' "$cache" || fail "the system's loaders are not in $cache" ;;
*) [ -z "$loader" ] || fail "a gdk-pixbuf loader from a build without it: $loader" ;;
esac

# The install brought the file type's database up to date itself.
[ -f "$prefix/share/mime/image/x-zft.xml" ] || fail "the install did not run update-mime-database"

# The type: update-mime-database must take the package and make the glob.
update-mime-database -V "$prefix/share/mime" >"$prefix/mime.log" 2>&1 || { cat "$prefix/mime.log"; fail "update-mime-database"; }
if grep -qi 'warning\|error' "$prefix/mime.log"; then cat "$prefix/mime.log"; fail "update-mime-database complained"; fi
[ -f "$prefix/share/mime/image/x-zft.xml" ] || fail "no image/x-zft after update-mime-database"
grep -q '^50:image/x-zft:\*\.zft$' "$prefix/share/mime/globs2" || fail "no *.zft glob for image/x-zft"
grep -aq 'image/x-zft' "$prefix/share/mime/magic" || fail "no content rule for image/x-zft"

# libmagic's rule takes a ZFT file and leaves a letter starting "1A" alone.
printf 'P6 2 1 255\n\001\002\003\004\005\006' >"$prefix/in.ppm"
"$prefix/bin/zft" convert "$prefix/in.ppm" -o "$prefix/picture.zft" || fail "zft convert"
printf '1A09032004 a letter, not a picture ......................................\n' >"$prefix/letter"
magic="$prefix/share/zft/zft.magic"
[ "$(file -b -m "$magic" --mime-type "$prefix/picture.zft")" = image/x-zft ] || fail "zft.magic does not take a ZFT file"
[ "$(file -b -m "$magic" --mime-type "$prefix/letter")" = text/plain ] || fail "zft.magic takes a letter"

# The menu entry: valid, starting the program with the one file it was
# opened with, and listed for ZFT files, so that a double click on one in a
# file manager opens it and "Open With" offers it.
desktop-file-validate "$prefix/share/applications/zft-toolkit.desktop" || fail "desktop-file-validate"
grep -qx 'Exec=zft-toolkit %f' "$prefix/share/applications/zft-toolkit.desktop" || fail "Exec is not zft-toolkit %f"
grep -q '^image/x-zft=\(.*;\)\?zft-toolkit.desktop;' "$prefix/share/applications/mimeinfo.cache" ||
    fail "the install did not list zft-toolkit.desktop for image/x-zft in mimeinfo.cache"

# The thumbnailer calls the installed tool with the three arguments it takes.
grep -qx 'Exec=zft thumbnail %i %o %s' "$prefix/share/thumbnailers/zft.thumbnailer" || fail "thumbnailer Exec"
grep -qx 'MimeType=image/x-zft;' "$prefix/share/thumbnailers/zft.thumbnailer" || fail "thumbnailer MimeType"
"$prefix/bin/zft" thumbnail --help >/dev/null || fail "the installed zft does not run"

# The manual pages format without warnings.
if command -v man >/dev/null; then
    for page in zft.1 zft-toolkit.1; do
        warnings=$(MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/$page.gz" 2>&1 >/dev/null)
        [ -z "$warnings" ] || fail "$page: $warnings"
    done
fi
echo "installed and valid under $prefix"
