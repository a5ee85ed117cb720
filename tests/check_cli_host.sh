#!/bin/sh
# orvex render as a video host, on clips made here with FFmpeg (testsrc2 and sine): the sound
# copied bit for bit, the container from the extension, colour tags and 10 bits kept, frame
# ranges joined into exactly the whole render, and the bad inputs a person meets.
set -u
orvex=$1
work=$2
scripts=$3
rm -rf "$work" && mkdir -p "$work"
fail=0
command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null || { echo "ffmpeg is missing"; exit 77; }
ff() { ffmpeg -v error -y "$@"; }
probe() {  # probe FILE ENTRIES: one value per line
    ffprobe -v error -select_streams v:0 -show_entries "$2" -of default=nw=1:nk=1 "$1"
}
check() {  # check WHAT GOT WANT
    [ "$2" = "$3" ] || { echo "FAIL: $1: got '$2', want '$3'"; fail=1; }
}
expect() {  # expect CODE PATTERN -- ARGS...
    code=$1 pattern=$2
    shift 3
    out=$("$orvex" "$@" 2>&1)
    rc=$?
    if [ "$rc" -ne "$code" ] || ! printf '%s' "$out" | grep -q -- "$pattern"; then
        echo "FAIL: orvex $* -> rc $rc (want $code), output: $out (want /$pattern/)"
        fail=1
    fi
}
# Per-frame video checksums (the md5 column of framemd5), one line per frame.
vmd5() { ffmpeg -v error -i "$1" -map 0:v:0 -f framemd5 - | grep -v '^#' | awk -F, '{print $6}'; }
bc=video/effect/brightness_contrast
gamma=video/effect/gamma_correction

ff -f lavfi -i "testsrc2=size=320x240:rate=25" -f lavfi -i "sine=frequency=440:sample_rate=48000" -t 2 \
    -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest "$work/av.mp4" || exit 1

# The sound is copied: the same packets, bit for bit, and as long as the video.
expect 0 "on CPU" -- render --effect $gamma --device cpu "$work/av.mp4" "$work/av-out.mp4"
audio_hash() { ffmpeg -v error -i "$1" -map 0:a -c copy -f hash -hash md5 -; }
check "copied audio" "$(audio_hash "$work/av-out.mp4")" "$(audio_hash "$work/av.mp4")"
check "frames" "$(probe "$work/av-out.mp4" stream=nb_frames)" 50
expect 0 "" -- render --effect $gamma --device cpu --no-audio "$work/av.mp4" "$work/mute.mp4"
check "--no-audio streams" "$(ffprobe -v error -show_entries stream=codec_type -of csv=p=0 "$work/mute.mp4")" video

# The container follows the extension; the codec's default quality or the one asked for.
for case in "mp4 mov,mp4,m4a,3gp,3g2,mj2 h264 isom" "mov mov,mp4,m4a,3gp,3g2,mj2 h264 qt" \
            "mkv matroska,webm h264 -" "webm matroska,webm vp9 -" "avi avi mpeg4 -"; do
    set -- $case
    expect 0 "" -- render --effect $gamma --device cpu --no-audio "$work/av.mp4" "$work/ext.$1"
    check ".$1 container" "$(ffprobe -v error -show_entries format=format_name -of default=nw=1:nk=1 "$work/ext.$1")" "$2"
    check ".$1 codec" "$(probe "$work/ext.$1" stream=codec_name)" "$3"
    if [ "$4" != - ]; then
        brand=$(ffprobe -v error -show_entries format_tags=major_brand -of csv=p=0 "$work/ext.$1" | tr -d ' ')
        check ".$1 brand" "$brand" "$4"
    fi
done
expect 0 "" -- render --effect $gamma --device cpu --codec libx265 --crf 30 "$work/av.mp4" "$work/hevc.mkv"
check "--codec" "$(probe "$work/hevc.mkv" stream=codec_name)" hevc
expect 0 "" -- render --effect $gamma --device cpu --crf 12 "$work/av.mp4" "$work/crf12.mp4"
expect 0 "" -- render --effect $gamma --device cpu --crf 40 "$work/av.mp4" "$work/crf40.mp4"
[ "$(stat -c %s "$work/crf12.mp4")" -gt "$(($(stat -c %s "$work/crf40.mp4") * 2))" ] ||
    { echo "FAIL: --crf 12 is not much larger than --crf 40"; fail=1; }
expect 0 "" -- render --effect $gamma --device cpu --bitrate 3M "$work/av.mp4" "$work/3m.mp4"
rate=$(ffprobe -v error -select_streams v:0 -show_entries stream=bit_rate -of csv=p=0 "$work/3m.mp4")
[ "${rate:-0}" -gt 1000000 ] || { echo "FAIL: --bitrate 3M gave $rate b/s"; fail=1; }
expect 0 "" -- render --effect $gamma --device cpu --pix-fmt yuv422p "$work/av.mp4" "$work/422.mkv"
check "--pix-fmt" "$(probe "$work/422.mkv" stream=pix_fmt)" yuv422p

# Colour tags, frame rate, time base and rotation go along (a BT.709 full-range 24000/1001 clip
# turned 90 degrees).
ff -f lavfi -i "testsrc2=size=320x240:rate=24000/1001" -frames:v 12 -c:v libx264 -pix_fmt yuv420p \
    -colorspace bt709 -color_primaries bt709 -color_trc bt709 -color_range pc "$work/tagged-0.mp4" || exit 1
ff -i "$work/tagged-0.mp4" -c copy -metadata:s:v rotate=90 "$work/tagged.mp4" || exit 1
expect 0 "" -- render --effect $gamma --device cpu "$work/tagged.mp4" "$work/tagged-out.mp4"
tags() { probe "$1" stream=color_space,color_range,color_primaries,color_transfer,r_frame_rate | tr '\n' ' '; }
check "colour tags and rate" "$(tags "$work/tagged-out.mp4")" "$(tags "$work/tagged.mp4")"
rotation() { ffprobe -v error -select_streams v:0 -show_entries stream_side_data=rotation -of csv=p=0 "$1" | tr -d '\n'; }
check "rotation" "$(rotation "$work/tagged-out.mp4")" "$(rotation "$work/tagged.mp4")"
[ -n "$(rotation "$work/tagged.mp4")" ] || { echo "FAIL: the rotated source has no rotation"; fail=1; }
ff -f lavfi -i "testsrc2=size=320x240:rate=25" -frames:v 5 -c:v ffv1 "$work/tb.mkv"
expect 0 "" -- render --effect $gamma --device cpu --codec ffv1 "$work/tb.mkv" "$work/tb-out.mkv"
check "timestamps" "$(ffprobe -v error -show_entries packet=pts -of csv=p=0 "$work/tb-out.mkv" | tr '\n' ' ')" \
    "$(ffprobe -v error -show_entries packet=pts -of csv=p=0 "$work/tb.mkv" | tr '\n' ' ')"

# A 10-bit source stays 10-bit through a colour effect, and the effect shows.
ff -f lavfi -i "testsrc2=size=320x240:rate=25" -frames:v 5 -c:v ffv1 -pix_fmt yuv420p10le "$work/ten.mkv"
expect 0 "" -- render --effect $gamma --param Gamma=0.5 --device cpu --codec ffv1 "$work/ten.mkv" "$work/ten-out.mkv"
check "10-bit output" "$(probe "$work/ten-out.mkv" stream=pix_fmt)" yuv420p10le
[ "$(vmd5 "$work/ten.mkv" | head -1)" != "$(vmd5 "$work/ten-out.mkv" | head -1)" ] ||
    { echo "FAIL: the 10-bit render is the input"; fail=1; }

# --frames pieces joined by scripts/render-chunks are exactly the whole render, frame for frame
# (a lossless codec, and a keyframed parameter so that every frame position shows).
ff -f lavfi -i "testsrc2=size=320x240:rate=25" -f lavfi -i "sine=frequency=300:sample_rate=44100" -t 1 \
    -c:v ffv1 -c:a flac -shortest "$work/farm.mkv"
set -- --effect $bc --param bright=0@0 --param bright=90@24 --device cpu --codec ffv1
expect 0 "" -- render "$@" "$work/farm.mkv" "$work/whole.mkv"
ORVEX=$orvex sh "$scripts/render-chunks" -n 7 -j 2 "$work/farm.mkv" "$work/joined.mkv" -- "$@" ||
    { echo "FAIL: render-chunks"; fail=1; }
check "joined pieces" "$(vmd5 "$work/joined.mkv" | md5sum)" "$(vmd5 "$work/whole.mkv" | md5sum)"
check "joined frames" "$(vmd5 "$work/joined.mkv" | wc -l)" 25
expect 0 "" -- render "$@" --frames 20:25 "$work/farm.mkv" "$work/tail.mkv"
# FLAC goes into MP4 only as an experimental feature: the video is written without it, with a note.
expect 0 "left out" -- render --effect $gamma --device cpu "$work/farm.mkv" "$work/flac.mp4"
check "video without the FLAC" "$(ffprobe -v error -show_entries stream=codec_name -of csv=p=0 "$work/flac.mp4")" h264
check "--frames 20:25" "$(vmd5 "$work/tail.mkv" | tr '\n' ' ')" "$(vmd5 "$work/whole.mkv" | tail -5 | tr '\n' ' ')"

# The audio effects hear the video's own sound, as they hear the same sound from a WAV file (pink
# noise: a pure tone draws no bars).
ff -f lavfi -i "testsrc2=size=320x240:rate=25" -f lavfi -i "anoisesrc=d=1:c=pink:a=0.5:r=44100" -t 0.2 \
    -c:v ffv1 -c:a flac -ac 2 "$work/noisy.mkv"
ff -i "$work/noisy.mkv" -map 0:a -c:a pcm_s16le "$work/noisy.wav"
spectrum=video/effect/audio_spectrum
if "$orvex" render --effect $spectrum --device opengl --audio "$work/noisy.wav" --frames 0:3 --codec ffv1 \
    "$work/noisy.mkv" "$work/wav.mkv" >/dev/null 2>&1; then
    expect 0 "" -- render --effect $spectrum --device opengl --audio-from-input --frames 0:3 --codec ffv1 \
        "$work/noisy.mkv" "$work/own.mkv"
    check "--audio-from-input" "$(vmd5 "$work/own.mkv" | md5sum)" "$(vmd5 "$work/wav.mkv" | md5sum)"
    # ... and the sound is heard: without it the bars differ.
    expect 0 "" -- render --effect $spectrum --device opengl --frames 0:3 --codec ffv1 "$work/noisy.mkv" "$work/deaf.mkv"
    [ "$(vmd5 "$work/deaf.mkv" | md5sum)" != "$(vmd5 "$work/own.mkv" | md5sum)" ] ||
        { echo "FAIL: the audio effect renders the same without sound"; fail=1; }
fi
expect 2 "no audio stream" -- render --effect $gamma --audio-from-input "$work/tb.mkv" "$work/x.mkv"

# CPU and OpenCL renders of a video agree: decoded planes within 3 levels, the conversions' stated
# tolerance (the effect's own is 1 per byte).
if out=$("$orvex" render --effect $gamma --device opencl --codec ffv1 "$work/farm.mkv" "$work/cl.mkv" 2>&1); then
    "$orvex" render --effect $gamma --device cpu --codec ffv1 "$work/farm.mkv" "$work/cpu.mkv" 2>/dev/null
    ffmpeg -v error -y -i "$work/cpu.mkv" -f rawvideo "$work/cpu.yuv"
    ffmpeg -v error -y -i "$work/cl.mkv" -f rawvideo "$work/cl.yuv"
    # cmp -l lists differing bytes in octal.
    most=$(cmp -l "$work/cpu.yuv" "$work/cl.yuv" | awk 'function oct(s, v, i) { v = 0
        for (i = 1; i <= length(s); i++) v = v * 8 + substr(s, i, 1); return v }
        { d = oct($2) - oct($3); if (d < 0) d = -d; if (d > m) m = d } END { print m + 0 }')
    [ -s "$work/cpu.yuv" ] && [ "$(stat -c %s "$work/cpu.yuv")" = "$(stat -c %s "$work/cl.yuv")" ] && [ "$most" -le 3 ] ||
        { echo "FAIL: CPU and OpenCL renders differ by up to $most levels"; fail=1; }
else
    echo "note: no OpenCL device, CPU/OpenCL video comparison skipped ($out)"
fi

# Bad input: a clear error, a non-zero exit and no file left behind.
no_file() { [ ! -e "$1" ] || { echo "FAIL: $1 was left behind"; fail=1; }; }
head -c 20000 "$work/av.mp4" >"$work/truncated.mp4"
expect 2 "cannot read .*truncated.mp4" -- render --effect $gamma "$work/truncated.mp4" "$work/t.mp4"
no_file "$work/t.mp4"
ff -f lavfi -i "sine=frequency=440" -t 1 -c:a flac "$work/sound.mkv"
expect 2 "has no video stream" -- render --effect $gamma "$work/sound.mkv" "$work/s.mp4"
no_file "$work/s.mp4"
printf 'YUV4MPEG2 W320 H240 F25:1 Ip A1:1 C420jpeg\n' >"$work/empty.y4m"
expect 2 "empty.y4m has no video frames" -- render --effect $gamma "$work/empty.y4m" "$work/e.mkv"
no_file "$work/e.mkv"
expect 2 "codec nonesuch is not available" -- render --effect $gamma --codec nonesuch "$work/tb.mkv" "$work/c.mkv"
no_file "$work/c.mkv"
expect 2 "outside .*tb.mkv" -- render --effect $gamma --frames 10:20 "$work/tb.mkv" "$work/r.mkv"
no_file "$work/r.mkv"
expect 2 "outside .*av.mp4, which has 50 frames" -- render --effect $gamma --frames 40:60 "$work/av.mp4" "$work/r.mp4"
no_file "$work/r.mp4"
expect 2 "cannot write .*missing/out.mp4" -- render --effect $gamma "$work/av.mp4" "$work/missing/out.mp4"
expect 1 "--frames wants A:B" -- render --effect $gamma --frames 5:2 "$work/av.mp4" "$work/r.mp4"
# A full disk: a file size limit of 64 KiB. The frames written so far stay playable.
(ulimit -f 128 && "$orvex" render --effect $gamma --device cpu --codec ffv1 "$work/farm.mkv" "$work/full.mkv" \
    >"$work/full.log" 2>&1)
rc=$?
[ $rc -eq 2 ] && grep -q "cannot write .*full.mkv: File too large" "$work/full.log" ||
    { echo "FAIL: disk full -> rc $rc: $(cat "$work/full.log")"; fail=1; }
n=$(ffprobe -v quiet -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$work/full.mkv")
[ "${n:-0}" -ge 1 ] || { echo "FAIL: nothing of the render on a full disk plays"; fail=1; }
# A corrupt packet in the middle is skipped with a warning naming the frame; the render goes on.
ff -f lavfi -i "testsrc2=size=160x120:rate=10" -frames:v 10 -c:v png "$work/png.mkv"
pos=$(ffprobe -v error -select_streams v -show_entries packet=pos -of csv=p=0 "$work/png.mkv" | sed -n 6p)
cp "$work/png.mkv" "$work/corrupt.mkv"
printf '\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000' |
    dd of="$work/corrupt.mkv" bs=1 seek=$((pos + 40)) conv=notrunc 2>/dev/null
expect 0 "corrupt packet at frame 5" -- render --effect $gamma --device cpu "$work/corrupt.mkv" "$work/corrupt-out.mkv"
n=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$work/corrupt-out.mkv")
[ "${n:-0}" -ge 7 ] && [ "$n" -le 9 ] || { echo "FAIL: the render after a corrupt packet has $n frames"; fail=1; }

# --help on every command prints that command's usage.
expect 0 "--frames A:B" -- render --help
for cmd in demo list info testcard compare; do expect 0 "orvex $cmd " -- $cmd --help; done
expect 0 "orvex vp convert --size" -- vp convert --help
expect 0 "orvex vp blend" -- vp --help
exit $fail
