#!/bin/sh
# Installs the build into a scratch prefix, as a packager would, and checks
# the desktop files with the freedesktop.org tools:
#   desktop_install.sh BUILD_DIR PREFIX
set -eu
build=$1
prefix=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

for file in bin/zft bin/zft-toolkit share/man/man1/zft.1 share/thumbnailers/zft.thumbnailer \
            share/applications/zft-toolkit.desktop share/mime/packages/zft-toolkit.xml \
            share/icons/hicolor/32x32/apps/zft-toolkit.png share/icons/hicolor/scalable/apps/zft-toolkit.svg \
            share/icons/hicolor/48x48/mimetypes/image-x-zft.png; do
    [ -f "$prefix/$file" ] || fail "$file was not installed"
done
plugin=$(find "$prefix" -path '*/imageformats/libzft.so')
[ -n "$plugin" ] || fail "the image plugin was not installed under $prefix"
case "$plugin" in
    "$prefix"/*/qt6/plugins/imageformats/libzft.so) ;;
    *) fail "the image plugin is not in Qt's plugin folder: $plugin" ;;
esac

# The type: update-mime-database must take the package and make the glob.
update-mime-database -V "$prefix/share/mime" >"$prefix/mime.log" 2>&1 || { cat "$prefix/mime.log"; fail "update-mime-database"; }
if grep -qi 'warning\|error' "$prefix/mime.log"; then cat "$prefix/mime.log"; fail "update-mime-database complained"; fi
[ -f "$prefix/share/mime/image/x-zft.xml" ] || fail "no image/x-zft after update-mime-database"
grep -q '^50:image/x-zft:\*\.zft$' "$prefix/share/mime/globs2" || fail "no *.zft glob for image/x-zft"

# The menu entry: valid, and starting the program without a command line.
desktop-file-validate "$prefix/share/applications/zft-toolkit.desktop" || fail "desktop-file-validate"
grep -qx 'Exec=zft-toolkit' "$prefix/share/applications/zft-toolkit.desktop" || fail "Exec is not zft-toolkit"

# The thumbnailer calls the installed tool with the three arguments it takes.
grep -qx 'Exec=zft thumbnail %i %o %s' "$prefix/share/thumbnailers/zft.thumbnailer" || fail "thumbnailer Exec"
grep -qx 'MimeType=image/x-zft;' "$prefix/share/thumbnailers/zft.thumbnailer" || fail "thumbnailer MimeType"
"$prefix/bin/zft" thumbnail --help >/dev/null || fail "the installed zft does not run"

# The manual page formats without warnings.
if command -v man >/dev/null; then
    warnings=$(MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/zft.1" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "zft.1: $warnings"
fi
echo "installed and valid under $prefix"
