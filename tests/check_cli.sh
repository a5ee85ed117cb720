#!/bin/sh
# The orvex command end to end: a rendered picture, and each kind of bad input with its exit code
# and message.
set -u
orvex=$1
work=$2
rm -rf "$work" && mkdir -p "$work"
fail=0
expect() {  # expect CODE PATTERN -- ARGS...
    code=$1 pattern=$2
    shift 3
    out=$("$orvex" "$@" 2>&1)
    rc=$?
    if [ "$rc" -ne "$code" ] || { [ -n "$pattern" ] && ! printf '%s' "$out" | grep -q -- "$pattern"; }; then
        echo "FAIL: orvex $* -> rc $rc (want $code), output: $out (want /$pattern/)"
        fail=1
    fi
}
bc=video/effect/brightness_contrast
expect 0 "" -- testcard --size 160x90 "$work/card.png"
expect 0 "" -- render --effect $bc --param bright=10 --param contrast=50 "$work/card.png" "$work/out.png"
[ -s "$work/out.png" ] || { echo "FAIL: no output picture"; fail=1; }
expect 0 "" -- render --effect VIDEO/EFFECT/BRIGHTNESS_CONTRAST --device cpu --frame 3 "$work/card.png" "$work/out.jpg"
[ -s "$work/out.jpg" ] || { echo "FAIL: no jpeg written"; fail=1; }
expect 0 "$bc" -- list
expect 0 "usage" -- --help
expect 0 "range \[-100, 100\]" -- info $bc
expect 2 "unknown effect" -- info video/effect/nope
expect 1 "needs --effect" -- render "$work/card.png" "$work/x.png"
expect 1 "unknown command" -- frobnicate
expect 2 "unknown effect" -- render --effect video/effect/nope "$work/card.png" "$work/x.png"
expect 2 "no parameter brightness" -- render --effect $bc --param brightness=1 "$work/card.png" "$work/x.png"
expect 2 "not a float value" -- render --effect $bc --param bright=true "$work/card.png" "$work/x.png"
expect 2 "store 20 instead" -- render --effect $bc --param bright=150 "$work/card.png" "$work/x.png"
expect 2 "cannot read" -- render --effect $bc "$work/missing.png" "$work/x.png"
# Frame operations on picture files.
expect 0 "" -- vp resize --size 80x45 --quality 1 --device cpu "$work/card.png" "$work/small.png"
expect 0 "" -- vp rotate --quarter 0 --device cpu "$work/card.png" "$work/turned.png"
expect 0 "" -- vp flip --horizontal --device cpu "$work/card.png" "$work/flipped.png"
expect 0 "" -- vp flip --horizontal --device cpu "$work/flipped.png" "$work/back.png"
expect 0 "max difference 0" -- compare "$work/card.png" "$work/back.png"
expect 0 "" -- vp crop --rect 0,0,0.5,0.5 --device cpu "$work/card.png" "$work/quarter.png"
expect 1 "" -- vp resize "$work/card.png" "$work/x.png"
# Raw YUV files and pictures through Convert.
expect 0 "" -- vp convert --format yv12 "$work/card.png" "$work/card.yuv"
[ "$(wc -c < "$work/card.yuv")" -eq 21600 ] || { echo "FAIL: a 160x90 yv12 frame is 21600 bytes"; fail=1; }
expect 0 "" -- vp convert --size 160x90 --format yv12 "$work/card.yuv" "$work/card_yv12.png"
# 4:2:0 halves the chroma of the card's hard colour edges (136 there at most); swapped or
# misplaced planes would be off by more on its saturated bars.
expect 0 "max difference" -- compare --tolerance 144 "$work/card.png" "$work/card_yv12.png"
expect 0 "" -- vp convert --format p010 --matrix 2020 "$work/card.png" "$work/card_p010.yuv"
expect 0 "" -- vp convert --size 160x90 --format p010 --matrix 2020 --out-size 80x45 "$work/card_p010.yuv" "$work/p010.png"
expect 0 "" -- vp convert --format i420 --range full "$work/card.png" "$work/card_i420.yuv"
expect 0 "" -- vp convert --size 160x90 --format nv12 "$work/card.yuv" "$work/nv12.png"
expect 1 "needed" -- vp convert --format yv12 "$work/card.yuv" "$work/x.png"
expect 2 "shorter than one" -- vp convert --size 320x180 --format yv12 "$work/card.yuv" "$work/x.png"
expect 0 "" -- vp convert --format nv12 --matrix 601 --range full "$work/card.png" "$work/card_nv12.yuv"
expect 0 "" -- vp convert --format p010 --matrix 709 "$work/card.png" "$work/card_p010_709.yuv"
expect 0 "" -- vp convert --size 160x90 --format p010 --matrix 709 "$work/card_p010_709.yuv" "$work/p010_709.png"
for f in yuv422p yuv422p16 yuva422p; do
    expect 0 "" -- vp convert --format $f --matrix 2020 --range full "$work/card.png" "$work/card_$f.yuv"
    expect 0 "" -- vp convert --size 160x90 --format $f --matrix 2020 --range full "$work/card_$f.yuv" "$work/$f.png"
done
# The 16-bit 4:2:2 file decodes to the picture of the 8-bit one.
expect 0 "" -- compare --tolerance 2 "$work/yuv422p.png" "$work/yuv422p16.png"
# Composing two pictures: a picture replacing itself, upright and unscaled, is itself.
expect 0 "" -- vp blend --mode 22 --device cpu "$work/card.png" "$work/card.png" "$work/self.png"
expect 0 "max difference 0" -- compare "$work/card.png" "$work/self.png"
expect 0 "" -- vp transform --mode 22 --device cpu "$work/card.png" "$work/card.png" "$work/placed.png"
expect 0 "max difference 0" -- compare "$work/card.png" "$work/placed.png"
expect 0 "" -- vp transform --mode 2 --opacity 0.8 --anchor 0.25,0.5 --centre 0.6,0.4 --rotation 30 --scale 0.8,0.6 \
    --skew 0.1,0 --device cpu "$work/small.png" "$work/card.png" "$work/turned.png"
[ -s "$work/turned.png" ] || { echo "FAIL: no composed picture"; fail=1; }
expect 1 "needs an overlay, a background" -- vp blend "$work/card.png" "$work/x.png"
expect 1 "--opacity wants 0 to 1" -- vp transform --opacity 2 "$work/card.png" "$work/card.png" "$work/x.png"
expect 3 "transform failed" -- vp transform --scale 0 "$work/card.png" "$work/card.png" "$work/x.png"
# 3D LUTs, HDR tone mapping and white balance.
{ echo "LUT_3D_SIZE 2"; for b in 0 1; do for g in 0 1; do for r in 0 1; do echo "$r $g $b"; done; done; done; } \
    > "$work/identity.cube"
# The jpeg is opaque, so the premultiplied result of the identity is the picture itself.
expect 0 "" -- vp lut "$work/identity.cube" "$work/out.jpg" "$work/lut.png"
expect 0 "max difference [01]\b" -- compare "$work/out.jpg" "$work/lut.png"
printf 'LUT_3D_SIZE 1\n' > "$work/bad.cube"
expect 2 "status 23" -- vp lut "$work/bad.cube" "$work/card.png" "$work/x.png"
expect 0 "" -- vp hdr2sdr --pq "$work/card.png" "$work/sdr_pq.png"
expect 0 "" -- vp hdr2sdr --hlg "$work/card.png" "$work/sdr_hlg.png"
[ -s "$work/sdr_pq.png" ] && [ -s "$work/sdr_hlg.png" ] || { echo "FAIL: no tone-mapped pictures"; fail=1; }
expect 1 "needs --pq or --hlg" -- vp hdr2sdr "$work/card.png" "$work/x.png"
expect 0 "" -- vp hdr sdr2hdr --pq "$work/card.png" "$work/hdr_pq.png"
expect 0 "" -- vp hdr pq2hlg "$work/hdr_pq.png" "$work/hdr_hlg.png"
expect 0 "" -- vp hdr hlg2pq "$work/hdr_hlg.png" "$work/hdr_back.png"
[ -s "$work/hdr_hlg.png" ] && [ -s "$work/hdr_back.png" ] || { echo "FAIL: no HDR pictures"; fail=1; }
expect 1 "needs --pq or --hlg" -- vp hdr sdr2hdr "$work/card.png" "$work/x.png"
expect 1 "needs sdr2hdr, pq2hlg or hlg2pq" -- vp hdr tohdr "$work/card.png" "$work/x.png"
expect 0 "temperature -\{0,1\}[0-9.]* tint" -- vp whitebalance "$work/card.png"
expect 0 "temperature 0.00 tint 0.00" -- vp whitebalance --colour 808080 "$work/card.png"
[ $fail -eq 0 ] && echo "cli: all cases passed"
exit $fail
