#!/bin/sh
# ImageMagick 6's convert with the built ZFT coder, as a user runs it:
# Debian's /usr/bin/convert, its coders and the build tree's
# (MAGICK_CODER_MODULE_PATH), against the built zft. What convert writes must
# be the bytes zft convert writes for the same picture, notice and date, and
# what it reads the pixels zft export gives. BUILD_CONFIG holds the coder's
# magic.xml, by which ImageMagick knows a ZFT file whatever its name.
#
#   magick_convert.sh BUILD_CODERS SYSTEM_CODERS BUILD_CONFIG ZFT_TOOL RGBA_PNG_SCRIPT
set -u
export MAGICK_CODER_MODULE_PATH="$1:$2" MAGICK_CONFIGURE_PATH="$3"
zft=$4
make_png=$5
convert=/usr/bin/convert identify=/usr/bin/identify
. "$(dirname "$0")/../support/checks.sh"
# Sixty characters, an accent among them: cut to 48 as the converter cuts.
notice="(c) 2026 Ann Péinter, every pixel of it, xxxxxxxxxxxxxxxxxxx"
kept="(c) 2026 Ann Péinter, every pixel of it, xxxxxxx"

/usr/bin/python3 "$make_png" 9 4 in.png || exit 1
"$zft" convert --notice "$notice" --date 02/31/2004 in.png -o wanted.zft || exit 1

check "convert writes zft convert's bytes, notice and date as defines" sh -c \
    "$convert in.png -define zft:notice='$notice' -define zft:date=2004-02-31 out.zft && cmp out.zft wanted.zft"
check "the notice from the picture's comment" sh -c \
    "$convert in.png -set comment '$notice' -define zft:date=2004-02-31 comment.zft && cmp comment.zft wanted.zft"
check "to standard output" sh -c \
    "$convert in.png -define zft:notice='$notice' -define zft:date=2004-02-31 zft:- | cmp - wanted.zft"
check "zft verify accepts it" "$zft" verify out.zft
check "read back, the pixels zft export gives" sh -c \
    "$convert wanted.zft back.png && $zft export wanted.zft exported.png && $convert back.png rgb:a.rgb &&
     $convert exported.png rgb:b.rgb && cmp a.rgb b.rgb"
check "from standard input" sh -c "$convert zft:- rgb:- <wanted.zft | cmp - b.rgb"
check "a round trip keeps the notice and the date, a 31 February too" sh -c "$convert wanted.zft again.zft && cmp again.zft wanted.zft"
check "the notice and date as the picture's properties" sh -c \
    "$convert wanted.zft -format '%c|%[zft:date]' info: | grep -qxF '$kept|2004-02-31'"
cp wanted.zft picture
check "a ZFT file known by its header, whatever its name" sh -c "$identify picture | grep -qF 'picture ZFT 9x4'"
cp in.png png-named.zft
check "and a PNG by its own, whatever its name" sh -c "$identify png-named.zft | grep -qF ' PNG 9x4'"
printf '1A12312004 is a line of text that begins as a ZFT header does, and is none\n' >text
refused "a text beginning as a ZFT header is no ZFT file" "no decode delegate for this image format" "$identify" text
cp text text.zft
refused "unless its name says it is one" 'width is "oes", not 3 digits' "$identify" text.zft
check "several pictures to several files, numbered as ImageMagick numbers them" sh -c \
    "$convert -size 2x2 xc:red xc:blue many.zft && $zft verify many-0.zft many-1.zft && [ ! -e many.zft ]"
check "compressed on the way" sh -c "$convert in.png in.zft.gz && gzip -dc in.zft.gz | head -c 2 | grep -qx 1A"
# Before the coder, convert wrote a BMP into out.zft and said nothing.
check "a BMP converted is a ZFT file" sh -c "$convert in.png -background white -flatten in.bmp &&
    $convert in.bmp from-bmp.zft && $zft verify from-bmp.zft"

refused "too large a picture" "the picture is 1000 × 2 pixels, and a ZFT picture can be at most 999 × 999 pixels" \
    "$convert" -size 1000x2 xc:red big.zft
[ -e big.zft ] && fail "the refused picture left big.zft"
head -c 100 wanted.zft >cut.zft
refused "a file cut short" "its header promises 172 (cut short)" "$convert" cut.zft cut.png
ln -s /dev/full full.zft
refused "a disk that is full" "unable to write file" "$convert" -size 300x300 xc:red full.zft
refused "a date that is none" "is not a date YYYY-MM-DD" "$convert" in.png -define zft:date=2004-02-32 bad.zft
# A file is replaced whole or not at all, as zft replaces it: the old one
# stays on a full disk, also through a link.
if full_disk "$dir/disk"; then
    cp wanted.zft disk/old.zft && ln -s disk/old.zft link.zft
    refused "a full disk" "No space left on device" "$convert" -size 600x600 xc:red disk/old.zft
    refused "a full disk through a link" "No space left on device" "$convert" -size 600x600 xc:red link.zft
    check "the old file whole, the link a link" sh -c "cmp disk/old.zft wanted.zft && [ -L link.zft ]"
    check "and nothing else left on the disk" sh -c '[ "$(ls -A disk)" = old.zft ]'
else
    skip "a full disk: no tmpfs may be mounted here"
fi

summary convert
