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
convert=/usr/bin/convert
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
cp wanted.zft picture && cp in.png png-named.zft
printf '1A12312004 is a line of text that begins as a ZFT header does, and is none\n' >text && cp text text.zft
check "ZFT and PNG known by their headers, whatever their names" sh -c \
    "$convert picture info: | grep -qF ' ZFT 9x4' && $convert png-named.zft info: | grep -qF ' PNG 9x4'"
refused "a text beginning as a ZFT header is no ZFT file" "no decode delegate for this image format" "$convert" text x.png
refused "unless its name asks for one" 'width is "oes", not 3 digits' "$convert" text.zft x.png
check "several pictures numbered, a .gz compressed, as ImageMagick writes them" sh -c "$convert -size 2x2 xc:red \
    xc:blue many.zft && $zft verify many-0.zft many-1.zft && $convert in.png in.zft.gz && gzip -t in.zft.gz"
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
# stays when the new one cannot be written (a file size limit stands for a
# full disk), also through a link.
cp wanted.zft old.zft && ln -s old.zft link.zft
for target in old.zft link.zft; do
    refused "a write that fails, to $target" "File too large" sh -c \
        "ulimit -f 100; exec $convert -size 600x600 xc:red $target"
done
check "the old file whole, the link a link" sh -c "cmp old.zft wanted.zft && [ -L link.zft ]"

summary convert
