#!/usr/bin/env bash
# What each package of a build brings onto a system, as apt would install it
# (recommended packages too), simulated against that system's dpkg status
# file with this machine's package lists; run by hand:
#
#   packaging/package_weight.sh PACKAGE_DIR STATUS [PACKAGE...]
#
# STATUS is a system's /var/lib/dpkg/status (a minimal Debian's: that of a
# `debootstrap --variant=minbase`); the PACKAGEs given are taken as installed
# on it too (task-gnome-desktop: a GNOME desktop). Prints, for each package
# of PACKAGE_DIR and for all of them together, its installed size and the
# packages it brings with their installed size (apt's "Inst" lines, less
# this build's own packages).
set -euo pipefail
debs=$(realpath "$1")
status=$(mktemp)
trap 'rm -f "$status"' EXIT
cp "$2" "$status"
shift 2
apt_s() { apt-get -s -o Dir::State::status="$status" -o Dir::State::extended_states=/dev/null install "$@"; }

# The packages apt would install, "NAME=VERSION" a line.
brought() { apt_s "$@" | awk '$1 == "Inst" { for (i = 3; i <= NF; i++) if ($i ~ /^\(/) { print $2 "=" substr($i, 2); break } }'; }
# Their stanzas as the package lists have them, one each.
stanzas() { [ $# -eq 0 ] || apt-cache show "$@" | awk '/^Package: / { keep = !seen[$2]++ } keep'; }

if [ $# -gt 0 ]; then
    # shellcheck disable=SC2046 # one word a package
    stanzas $(brought "$@") | sed '/^Package: /a Status: install ok installed' >>"$status"
fi

ours=$(for deb in "$debs"/*.deb; do dpkg-deb -f "$deb" Package; done)
weigh() {  # weigh NAME DEB...
    local name=$1 own=0 deb others
    shift
    for deb in "$@"; do
        own=$((own + $(dpkg-deb -f "$deb" Installed-Size)))
    done
    others=$(brought "$@" | awk -F= 'NR == FNR { ours[$1]; next } !($1 in ours)' <(echo "$ours") -)
    # shellcheck disable=SC2086 # one word a package
    stanzas $others | awk -v name="$name" -v own="$own" -v count="$(echo "$others" | grep -c . || true)" '
        /^Installed-Size: / { kb += $2 }
        END { printf "%-30s %5.2f MB, brings %4d packages, %7.1f MB\n", name, own / 1024, count, kb / 1024 }'
}
# Each with those of ours it depends on (the window with zft), which count
# as its own.
for deb in "$debs"/*.deb; do
    with=("$deb")
    for package in $(dpkg-deb -f "$deb" Depends | tr ',' '\n' | awk '{ print $1 }'); do
        if echo "$ours" | grep -q -x -F "$package"; then
            with+=("$debs/${package}_"*.deb)
        fi
    done
    weigh "$(dpkg-deb -f "$deb" Package)" "${with[@]}"
done
weigh "all of them" "$debs"/*.deb
