#!/bin/sh
# The orvex command on videos and the demo sheet: a generated 10-frame clip rendered with a
# keyframed parameter, frame positions reaching the effect, Ctrl-C leaving a playable file, the
# demo, and the errors a person meets.
set -u
orvex=$1
work=$2
rm -rf "$work" && mkdir -p "$work"
fail=0
command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null || { echo "ffmpeg is missing"; exit 77; }
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
frames() { ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$1"; }
# Peak signal-to-noise ratio of two pictures in whole dB.
psnr() { ffmpeg -v info -i "$1" -i "$2" -lavfi psnr -f null - 2>&1 | sed -n 's/.*average:\([0-9]*\).*/\1/p'; }
# Frame N of a video as a PNG.
grab() { ffmpeg -v error -y -i "$1" -vf "select=eq(n\,$2)" -frames:v 1 "$3"; }

ffmpeg -v error -y -f lavfi -i "testsrc=size=320x192:rate=10" -frames:v 10 -c:v ffv1 "$work/in.mkv" || exit 1
bc=video/effect/brightness_contrast

# Keyframes: bright 0 at frame 0 rising to 90 at frame 9.
expect 0 "" -- render --effect $bc --device cpu --param bright=0@0 --param bright=90@9 "$work/in.mkv" "$work/out.mp4"
n=$(frames "$work/out.mp4")
[ "$n" = 10 ] || { echo "FAIL: the rendered video has $n frames, want 10"; fail=1; }
grab "$work/in.mkv" 0 "$work/in0.png"; grab "$work/out.mp4" 0 "$work/out0.png"
grab "$work/in.mkv" 9 "$work/in9.png"; grab "$work/out.mp4" 9 "$work/out9.png"
# Frame 0 is the input within the lossy codec (about 26 dB), frame 9 much brighter (about 13 dB).
p0=$(psnr "$work/in0.png" "$work/out0.png"); p9=$(psnr "$work/in9.png" "$work/out9.png")
if [ "${p0:-0}" -lt 22 ] || [ "${p9:-99}" -gt 17 ]; then
    echo "FAIL: keyframes: PSNR of frame 0 is $p0 dB (want >= 22), of frame 9 $p9 dB (want <= 17)"
    fail=1
fi

# Frame positions reach the effect: the same position gives the same picture, the next differs.
glitch=video/effect/glitch_box_shift
if "$orvex" info $glitch >/dev/null 2>&1; then
    expect 0 "" -- render --effect $glitch --device cpu --frame 3 "$work/in0.png" "$work/g3a.png"
    expect 0 "" -- render --effect $glitch --device cpu --frame 3 "$work/in0.png" "$work/g3b.png"
    expect 0 "" -- render --effect $glitch --device cpu --frame 4 "$work/in0.png" "$work/g4.png"
    expect 0 "max difference 0" -- compare "$work/g3a.png" "$work/g3b.png"
    expect 4 "" -- compare "$work/g3a.png" "$work/g4.png"
    expect 0 "" -- render --effect $glitch --device cpu "$work/in.mkv" "$work/glitch.mp4"
fi

# Ctrl-C: the render stops and leaves a playable file with the frames done so far.
ffmpeg -v error -y -f lavfi -i "testsrc=size=640x360:rate=25" -frames:v 400 -c:v ffv1 "$work/long.mkv" || exit 1
"$orvex" render --effect video/effect/gaussian_blur --device cpu "$work/long.mkv" "$work/cut.mp4" 2>"$work/cut.log" &
pid=$!
sleep 2
kill -INT $pid
wait $pid
rc=$?
n=$(frames "$work/cut.mp4")
if [ "$rc" -ne 0 ] || [ -z "$n" ] || [ "$n" -lt 1 ] || [ "$n" -gt 400 ]; then
    echo "FAIL: after Ctrl-C rc $rc, $n frames readable ($(cat "$work/cut.log"))"
    fail=1
fi

# Errors a person understands.
expect 2 "did you mean video/effect/gaussian_blur" -- render --effect video/effect/gausian_blur "$work/in0.png" "$work/x.png"
expect 2 "did you mean video/effect/gaussian_blur" -- info gaussian_blur
expect 2 "did you mean bright" -- render --effect $bc --param brigth=3 "$work/in0.png" "$work/x.png"
expect 1 "did you mean render" -- rendr
expect 1 "NAME=VALUE@FRAME" -- render --effect $bc --param bright=3@x "$work/in0.png" "$work/x.png"
expect 1 "into a video file" -- render --effect $bc "$work/in.mkv" "$work/x.png"
expect 2 "cannot read a video" -- render --effect $bc "$work/missing.mp4" "$work/x.mp4"
expect 2 "cannot read" -- demo --input "$work/missing.png" --out "$work/demo-x"
expect 0 "exit codes" -- --help

# The demo sheet on a small test card: one PNG per effect and the sheet.
expect 0 "contact sheet" -- demo --size 96x64 --out "$work/demo"
[ -s "$work/demo/contact_sheet.png" ] || { echo "FAIL: no contact sheet"; fail=1; }
[ -s "$work/demo/gaussian_blur.png" ] || { echo "FAIL: no per-effect picture"; fail=1; }
exit $fail
