#!/bin/sh
# Layers point down only: each folder includes from the folders the README's
# layout table allows it and from none other. A host that reached into the
# windows, or the core into Qt's widgets' layer, fails here. The shell and
# the platform's seams are standard C++: neither includes a Qt header, nor
# anything of platform/qt or platform/web, which implement the seams in Qt
# Widgets and in a browser.
#   check_layers.sh SOURCE_DIR
set -u
cd "$1" || exit 1
failures=0
# folder: the folders it may include from, itself among them
allowed() {
    case $1 in
    format) echo "format" ;;
    core) echo "format core" ;;
    platform) echo "format core platform" ;;
    platform/qt) echo "format core platform platform/qt" ;;
    platform/web) echo "format core platform platform/web" ;;
    shell) echo "format core platform shell" ;;
    app) echo "format core platform platform/qt platform/web shell app" ;;
    cli | plugin | pixbuf | gimp | magick | python | web) echo "format core $1" ;;
    esac
}
# The files of a folder, not those of its subfolders that are layers of their own.
files_of() {
    case $1 in
    platform) find platform -maxdepth 1 -type f ;;
    *) find "$1" -type f ;;
    esac
}
for folder in format core platform platform/qt platform/web shell app cli plugin pixbuf gimp magick python web; do
    may=$(allowed "$folder")
    for used in $(files_of "$folder" | xargs grep -hoE '^#include "(platform/qt|platform/web|[a-z]+)/' |
        sed 's/^#include "//; s|/$||' | sort -u); do
        case " $may " in
        *" $used "*) ;;
        *)
            echo "FAIL: $folder/ includes from $used/:"
            files_of "$folder" | xargs grep -n "^#include \"$used/" | sed 's/^/    /'
            failures=$((failures + 1))
            ;;
        esac
    done
done
for folder in platform platform/web shell; do
    qt=$(files_of "$folder" | xargs grep -nE '^#include <Q' | sed 's/^/    /')
    if [ -n "$qt" ]; then
        echo "FAIL: $folder/ is standard C++ but includes Qt's headers:"
        echo "$qt"
        failures=$((failures + 1))
    fi
done
[ "$failures" -eq 0 ] && echo "every folder includes only from the layers below it"
[ "$failures" -eq 0 ]
