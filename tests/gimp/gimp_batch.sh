#!/bin/sh
# GIMP 2.10 with the built file-zft plug-in, as a script runs it: Debian's
# gimp in batch mode (gimp -i -b), with a gimprc of its own whose plug-in
# path names the build tree's plug-in folder before GIMP's own, against the
# built zft. What GIMP saves must be the bytes zft convert writes for the
# same picture, notice and date; what it opens, the pixels zft export gives.
#
#   gimp_batch.sh BUILD_PLUG_INS ZFT_TOOL RGBA_PNG_SCRIPT
set -u
plug_ins=$1
zft=$2
make_png=$3
. "$(dirname "$0")/../support/checks.sh"

# A GIMP of its own: settings, plug-in registry and all, in the scratch folder.
export HOME="$dir" GIMP2_DIRECTORY="$dir/gimp"
mkdir -p "$GIMP2_DIRECTORY"
echo "(plug-in-path \"$plug_ins:\${gimp_plug_in_dir}/plug-ins\")" >"$GIMP2_DIRECTORY/gimprc"

notice="(c) 2026 Ann Peinter, every pixel of it, xxxxxxxxxxxxxxxxxxx"
/usr/bin/python3 "$make_png" 9 4 in.png || exit 1
"$zft" convert --notice "$notice" --date 02/31/2004 in.png -o wanted.zft || exit 1
cp wanted.zft no-extension

# One GIMP run: each -b is one script command; failures are printed and the
# next command still runs. What the checks below read are the files written.
gimp -i \
    -b "(let* ((image (car (gimp-file-load RUN-NONINTERACTIVE \"in.png\" \"in.png\")))
               (layer (car (gimp-image-get-active-layer image))))
          (gimp-image-attach-parasite image (list \"gimp-comment\" 1 \"$notice\"))
          (gimp-image-attach-parasite image (list \"zft-date\" 1 \"2004-02-31\"))
          (gimp-file-save RUN-NONINTERACTIVE image layer \"saved.zft\" \"saved.zft\"))" \
    -b "(let* ((image (car (gimp-file-load RUN-NONINTERACTIVE \"in.png\" \"in.png\")))
               (layer (car (gimp-image-get-active-layer image)))
               (top (car (gimp-layer-new image 3 2 RGBA-IMAGE \"top\" 100 LAYER-MODE-NORMAL))))
          (gimp-image-insert-layer image top 0 0)
          (gimp-layer-set-offsets top 5 1)
          (gimp-drawable-fill top FILL-WHITE)
          (gimp-file-save RUN-NONINTERACTIVE image layer \"layers.zft\" \"layers.zft\")
          (gimp-file-save RUN-NONINTERACTIVE image
                          (car (gimp-image-merge-visible-layers image CLIP-TO-IMAGE))
                          \"layers.png\" \"layers.png\"))" \
    -b "(let* ((image (car (gimp-file-load RUN-NONINTERACTIVE \"wanted.zft\" \"wanted.zft\")))
               (layer (car (gimp-image-get-active-layer image))))
          (gimp-file-save RUN-NONINTERACTIVE image layer \"again.zft\" \"again.zft\")
          (gimp-file-save RUN-NONINTERACTIVE image layer \"opened.png\" \"opened.png\"))" \
    -b "(let* ((image (car (gimp-file-load RUN-NONINTERACTIVE \"no-extension\" \"no-extension\")))
               (layer (car (gimp-image-get-active-layer image))))
          (gimp-file-save RUN-NONINTERACTIVE image layer \"by-content.zft\" \"by-content.zft\"))" \
    -b "(let* ((thumb (file-zft-load-thumb \"wanted.zft\" 4))
               (image (car thumb))
               (layer (car (gimp-image-get-active-layer image))))
          (gimp-file-save RUN-NONINTERACTIVE image layer \"thumb.png\" \"thumb.png\")
          (gimp-file-save RUN-NONINTERACTIVE image layer
                          (string-append \"thumb-of-\" (number->string (cadr thumb)) \"x\"
                                         (number->string (caddr thumb)) \".png\") \"\"))" \
    -b "(let* ((image (car (gimp-image-new 1000 5 RGB)))
               (layer (car (gimp-layer-new image 1000 5 RGB-IMAGE \"big\" 100 LAYER-MODE-NORMAL))))
          (gimp-image-insert-layer image layer 0 0)
          (gimp-file-save RUN-NONINTERACTIVE image layer \"big.zft\" \"big.zft\"))" \
    -b "(gimp-file-load RUN-NONINTERACTIVE \"cut.zft\" \"cut.zft\")" \
    -b "(gimp-quit 0)" >gimp.log 2>&1 &
# The cut file is made while GIMP starts: it only has to be there when the
# command that opens it runs.
head -c 100 wanted.zft >cut.zft
wait $! || { fail "gimp ran"; sed 's/^/    /' gimp.log; }

check "GIMP saves zft convert's bytes: notice from the comment, date from zft-date" cmp saved.zft wanted.zft
check "zft verify accepts it" "$zft" verify saved.zft
# The layers merged by GIMP and saved as PNG, converted by zft: the same
# bytes after the date, which is today's in both.
check "every visible layer, as zft convert takes the same picture" sh -c \
    "$zft convert layers.png -o layers-by-zft.zft && cmp -i 10 layers.zft layers-by-zft.zft"
check "GIMP opens a ZFT: the pixels zft export gives" sh -c \
    "$zft convert --date 02/31/2004 --notice '$notice' opened.png -o opened.zft && cmp opened.zft wanted.zft"
check "a round trip keeps the notice and the date, a 31 February too" cmp again.zft wanted.zft
check "a ZFT of any name is opened by its header" cmp by-content.zft wanted.zft
check "the thumbnail fits 4 pixels and tells the full size" sh -c \
    "test -e thumb-of-9x4.png && $zft convert thumb.png -o thumb.zft && $zft info thumb.zft | grep -q 'width=004 - height=002'"
check "too large a picture is refused with the reason" \
    grep -qF "the picture is 1000 × 5 pixels, and a ZFT picture can be at most 999 × 999 pixels" gimp.log
[ -e big.zft ] && fail "the refused picture left big.zft"
check "a damaged file is refused with the reason" grep -qF "its header promises 172 (cut short)" gimp.log

summary gimp
