#!/bin/sh
# Layers point down only: each folder includes from the folders the README's
# layout table allows it and from none other. A host that reached into the
# windows, or the core into Qt's widgets' layer, fails here.
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
    shell) echo "format core platform shell" ;;
    cli | plugin | pixbuf | gimp | magick | python | web) echo "format core $1" ;;
    esac
}
for folder in format core platform shell cli plugin pixbuf gimp magick python web; do
    may=$(allowed "$folder")
    for used in $(grep -rhoE '^#include "[a-z]+/' "$folder" | sed 's/^#include "//; s|/$||' | sort -u); do
        case " $may " in
        *" $used "*) ;;
        *)
            echo "FAIL: $folder/ includes from $used/:"
            grep -rn "^#include \"$used/" "$folder" | sed 's/^/    /'
            failures=$((failures + 1))
            ;;
        esac
    done
done
[ "$failures" -eq 0 ] && echo "every folder includes only from the layers below it"
[ "$failures" -eq 0 ]
