#!/bin/sh
# Makes the Debian packages from a built tree and checks each as dpkg sees
# it: its control fields, its dependencies (its own host's libraries and no
# other host's), its files and where they lie, its maintainer scripts (none:
# the triggers of the packages owning the caches do their work), and
# lintian's verdict; and that all of them together hold what an install of
# the build holds, no file in two:
#   package_check.sh BUILD_DIR VERSION PACKAGE...
set -eu
build=$1
version=$2
shift 2
packages=$*
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -f "$build"/*.deb
cmake --build "$build" --target package >"$build/package.log" 2>&1 || { cat "$build/package.log"; fail "making the packages"; }
made=$(cd "$build" && ls *.deb | sed 's/_.*//' | sort | tr '\n' ' ')
wanted=$(printf '%s\n' $packages | sort | tr '\n' ' ')
[ "$made" = "$wanted" ] || fail "made $made, not $wanted"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
printf 'P6 3 2 255\n%s' 'abcdefghijklmnopqr' >"$scratch/in.ppm"
qt_plugins() { [ "$1" = 5 ] && /usr/lib/qt5/bin/qmake -query QT_INSTALL_PLUGINS || /usr/lib/qt6/bin/qtpaths6 --query QT_INSTALL_PLUGINS; }
icons=/usr/share/icons/hicolor
python_modules=/usr/lib/python3/dist-packages

# Each package: its section, the dependencies it must have, the hosts whose
# libraries it may depend on (qt6, qt5, pixbuf, gimp, magick, python;
# "none" for none), and its files beside Debian's own.
for package in $packages; do
    case $package in
    zft)
        section=graphics hosts=none
        needs="libturbojpeg0 libjpeg62-turbo libgif7 libpng16-16 libicu72"
        files="/usr/bin/zft /usr/share/man/man1/zft.1.gz /usr/share/mime/packages/zft-toolkit.xml
               /usr/share/thumbnailers/zft.thumbnailer $icons/scalable/mimetypes/image-x-zft.svg
               $icons/48x48/mimetypes/image-x-zft.png /usr/share/zft/zft.magic
               $(pkg-config --variable=completionsdir bash-completion)/zft" ;;
    zft-toolkit)
        section=graphics hosts=qt6
        needs="libqt6gui6 libqt6widgets6 libicu72 hicolor-icon-theme"
        files="/usr/bin/zft-toolkit /usr/share/man/man1/zft-toolkit.1.gz /usr/share/applications/zft-toolkit.desktop
               $icons/48x48/apps/zft-toolkit.png $icons/scalable/apps/zft-toolkit.svg" ;;
    qt6-image-formats-plugin-zft)
        section=libs hosts=qt6 needs=libqt6gui6 files="$(qt_plugins 6)/imageformats/libzft.so" ;;
    qt5-image-formats-plugin-zft)
        section=libs hosts=qt5 needs=libqt5gui5 files="$(qt_plugins 5)/imageformats/libzft.so" ;;
    zft-gdk-pixbuf)
        section=graphics hosts=pixbuf needs=libgdk-pixbuf-2.0-0
        files="$(pkg-config --variable=gdk_pixbuf_moduledir gdk-pixbuf-2.0)/libpixbufloader-zft.so" ;;
    gimp-zft)
        # libgimp brings gdk-pixbuf's types with it.
        section=graphics hosts="gimp pixbuf" needs="libgimp2.0 gimp"
        files="$(pkg-config --variable=gimplibdir gimp-2.0)/plug-ins/file-zft/file-zft" ;;
    libmagickcore-6.q16-6-zft)
        magick_coders=$(/usr/bin/convert -list configure | sed -n 's/^CODER_PATH *//p')
        magick_config=$(/usr/bin/convert -list configure | sed -n 's/^SHAREARCH_PATH *//p')
        section=libs hosts=magick needs=libmagickcore-6.q16-6
        files="$magick_coders/zft.so $magick_coders/zft.la $magick_config/magic.xml" ;;
    python3-pillow-zft)
        section=python hosts=python needs="python3 python3-pil"
        files="$python_modules/pillow_zft.cpython-311-x86_64-linux-gnu.so" ;;
    *) fail "no checks for the package $package" ;;
    esac
    deb="$build/${package}_${version}_amd64.deb"
    [ -f "$deb" ] || fail "no $deb"

    # Control fields.
    field() { dpkg-deb -f "$deb" "$1"; }
    [ "$(field Package)" = "$package" ] || fail "$package: Package: $(field Package)"
    [ "$(field Version)" = "$version" ] || fail "$package: Version: $(field Version)"
    [ "$(field Architecture)" = amd64 ] || fail "$package: Architecture: $(field Architecture)"
    [ "$(field Section)" = "$section" ] || fail "$package: Section: $(field Section)"
    [ "$(field Source)" = zft-toolkit ] || fail "$package: Source: $(field Source)"
    depends=$(field Depends)
    for need in $needs; do
        echo "$depends" | grep -q "\\(^\\|, \\)$need\\( \\|,\\|$\\)" || fail "$package: Depends lacks $need: $depends"
    done
    # No other host's library, by the names Debian gives them.
    for host in qt6 qt5 pixbuf gimp magick python; do
        case " $hosts " in *" $host "*) continue ;; esac
        case $host in
        qt6) pattern='libqt6' ;; qt5) pattern='libqt5' ;; pixbuf) pattern='libgdk-pixbuf' ;;
        gimp) pattern='gimp\|libgegl\|libbabl' ;; magick) pattern='magick' ;; python) pattern='python' ;;
        esac
        echo "$depends" | grep -q "$pattern" && fail "$package depends on $host: $depends"
    done
    case $package in
    zft-toolkit) echo "$depends" | grep -q "\\bzft (= $version)" || fail "zft-toolkit: Depends lacks zft (= $version)" ;;
    gimp-zft) [ "$(field Enhances)" = gimp ] || fail "gimp-zft: Enhances: $(field Enhances)" ;;
    libmagickcore-6.q16-6-zft)
        # Its coder folder is named after MagickCore's version.
        echo "$depends" | grep -q 'libmagickcore-6.q16-6 (<< 8:6.9.12)' || fail "$package: not held to MagickCore 6.9.11: $depends" ;;
    python3-pillow-zft)
        echo "$depends" | grep -q 'python3 (<< 3.12)' || fail "$package: not held to Python 3.11: $depends" ;;
    esac

    # The files, where each library asked says they belong, and Debian's own.
    listing=$(dpkg-deb -c "$deb")
    for file in $files "/usr/share/doc/$package/copyright" "/usr/share/doc/$package/changelog.gz"; do
        echo "$listing" | grep -q " \\.$file\$" || fail "$package lacks $file"
    done
    # Only files of its own: under /usr, owned by root, and no cache that a
    # trigger makes (it would belong to no package and clash with the real one).
    echo "$listing" | awk '{ print $6 }' | grep -v '^\./usr/' | grep -v '^\./$' && fail "$package: files outside /usr"
    echo "$listing" | awk '$2 != "root/root" { print; bad = 1 } END { exit bad }' || fail "$package: files not owned by root"
    echo "$listing" | grep -E 'mime\.cache|icon-theme\.cache|mimeinfo\.cache|loaders\.cache' && fail "$package: a generated cache is packed"
    # No Python source: its bytecode, made where it is imported, would belong
    # to no package and stay behind on removal.
    echo "$listing" | grep -E '\.py$|__pycache__|\.pyc$' && fail "$package: Python source or bytecode is packed"
    echo "$listing" | awk '$1 !~ /^d/ { print $6 }' | sed 's/^\.//' >>"$scratch/packed"

    # No maintainer scripts.
    dpkg-deb -e "$deb" "$scratch/control"
    scripts=$(ls "$scratch/control" | grep -v -x -e control -e md5sums || true)
    [ -z "$scripts" ] || fail "$package: maintainer scripts or triggers: $scripts"
    rm -rf "$scratch/control"

    # The hosts' plug-ins as the packages have them (stripped), each run by
    # its host from the unpacked package: the Qt plugins, the loader and
    # GIMP's are run so by fresh_install.sh --viewers.
    dpkg-deb -x "$deb" "$scratch/root"
    case $package in
    libmagickcore-6.q16-6-zft)
        MAGICK_CODER_MODULE_PATH="$scratch/root$magick_coders:$magick_coders" /usr/bin/convert "$scratch/in.ppm" \
            "$scratch/magick.zft" || fail "ImageMagick with the packed coder"
        [ "$(head -c 2 "$scratch/magick.zft")" = 1A ] || fail "ImageMagick's ZFT from the packed coder" ;;
    esac
done
# Pillow with the packed module, on what the packed zft writes.
case " $packages " in *" python3-pillow-zft "*)
    "$scratch/root/usr/bin/zft" convert "$scratch/in.ppm" -o "$scratch/zft.zft" || fail "the packed zft"
    PYTHONPATH="$scratch/root$python_modules" /usr/bin/python3 -c "
import pillow_zft
from PIL import Image
assert Image.open('$scratch/zft.zft').size == (3, 2)
" || fail "Pillow with the packed module" ;;
esac

# No file in two packages (dpkg would refuse the second), and together the
# very files an install of the build puts in place, no more, no fewer.
duplicates=$(sort "$scratch/packed" | uniq -d)
[ -z "$duplicates" ] || fail "files in two packages: $duplicates"
DESTDIR="$scratch/installed" cmake --install "$build" --prefix /usr >"$scratch/install.log" 2>&1 ||
    { cat "$scratch/install.log"; fail "cmake --install"; }
(cd "$scratch/installed" && find . ! -type d | sed 's/^\.//') | sort >"$scratch/install-files"
sort "$scratch/packed" >"$scratch/packed-files"
differences=$(diff "$scratch/install-files" "$scratch/packed-files" || true)
[ -z "$differences" ] || fail "the packages together are not the install (<: install only, >: packed only):
$differences"

# Each folder whose cache needs refreshing has an installed package with a
# dpkg trigger on it.
for folder in /usr/share/mime/packages /usr/share/icons/hicolor /usr/share/applications \
        $(pkg-config --variable=gdk_pixbuf_moduledir gdk-pixbuf-2.0) /usr/share/man; do
    cat /var/lib/dpkg/info/*.triggers | grep -q "^interest[a-z-]* $folder\$" || fail "no installed package triggers on $folder"
done

# lintian: no errors and no warnings.
(cd "$build" && lintian --fail-on error,warning --tag-display-limit 0 $(printf '%s_'"$version"'_amd64.deb ' $packages)) ||
    fail "lintian reports errors or warnings"
echo "packages checked: $packages"
