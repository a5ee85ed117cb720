#!/bin/sh
# orvex render of the shipped shader effects on OpenGL, and of the audio effects with generated
# sound files: each writes a picture that differs from its input where the effect should act.
set -u
orvex=$1
work=$2
rm -rf "$work" && mkdir -p "$work"
command -v ffmpeg >/dev/null 2>&1 || { echo "SKIP: ffmpeg (scripts/install-deps) makes the test sounds"; exit 77; }
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
gl="--device opengl"
fx=video/effect
card="$work/card.png"
expect 0 "" -- testcard --size 320x180 "$card"
"$orvex" render --effect $fx/pixelate $gl "$card" "$work/probe.png" >/dev/null 2>&1
[ $? -eq 2 ] && "$orvex" render --effect $fx/pixelate $gl "$card" "$work/probe.png" 2>&1 | grep -q "no OpenGL device" &&
    { echo "SKIP: no OpenGL device (install libegl-mesa0 and libgl1-mesa-dri)"; exit 77; }

# The default device: a shader effect renders on OpenGL (llvmpipe without a GPU); any other
# effect on an OpenCL GPU or the CPU, never through OpenGL textures.
expect 0 "on OpenGL" -- render -v --effect $fx/whirlwind "$card" "$work/default-shader.png"
out=$("$orvex" render -v --effect $fx/gamma_correction "$card" "$work/default-plain.png" 2>&1)
if ! printf '%s' "$out" | grep -Eq "on (CPU|OpenCL)$"; then
    echo "FAIL: the default device of a plain effect: $out"
    fail=1
fi

# Test sounds: silence, and pink noise that lights every band; a white shape on black.
ffmpeg -loglevel error -y -f lavfi -i "anullsrc=r=44100:cl=stereo" -t 1 "$work/silence.wav" || fail=1
ffmpeg -loglevel error -y -f lavfi -i "anoisesrc=d=1:c=pink:a=0.5:r=44100" -ac 2 "$work/noise.wav" || fail=1
ffmpeg -loglevel error -y -f lavfi -i "color=black:s=320x180,format=gray" \
    -vf "geq=lum='if(lt(hypot(X-160\,Y-90)\,40)\,255\,0)'" -frames:v 1 "$work/shape.png" || fail=1

# Every shader effect changes the picture (compare exits 4 when the pictures differ).
expect 0 "" -- render --effect $fx/pixelate $gl --param block_size=12 "$card" "$work/pixelate.png"
expect 0 "" -- render --effect $fx/whirlwind $gl --param anchor_point_x=0.4 --param heat_distortion=2 "$card" "$work/whirlwind.png"
expect 0 "" -- render --effect $fx/chromatic_glow $gl --param gradient_color="2,16711680,0;16776960,100" "$card" "$work/glow.png"
expect 0 "" -- render --effect $fx/light_leak $gl --param vignette=0.8 "$card" "$work/leak.png"
expect 0 "" -- render --effect $fx/audio_spectrum $gl --audio "$work/noise.wav" --frame 5 "$card" "$work/spectrum.png"
expect 0 "" -- render --effect $fx/audio_visualization_mask_shape $gl --audio "$work/noise.wav" "$work/shape.png" "$work/shape_bars.png"
for out in pixelate whirlwind glow leak spectrum; do
    expect 4 "max difference" -- compare "$card" "$work/$out.png"
done
expect 4 "max difference" -- compare "$work/shape.png" "$work/shape_bars.png"
# light_leak has a CPU body that draws what its shaders draw.
expect 0 "" -- render --effect $fx/light_leak --device cpu --param vignette=0.8 "$card" "$work/leak_cpu.png"
expect 0 "" -- compare --tolerance 2 "$work/leak.png" "$work/leak_cpu.png"

# Silence draws no bars: the picture comes back as it went in.
expect 0 "" -- render --effect $fx/audio_spectrum $gl --audio "$work/silence.wav" "$card" "$work/quiet.png"
expect 0 "max difference 0" -- compare "$card" "$work/quiet.png"
expect 0 "" -- render --effect $fx/audio_visualization_mask_shape $gl --audio "$work/silence.wav" "$work/shape.png" "$work/quiet_shape.png"
expect 0 "max difference 0" -- compare "$work/shape.png" "$work/quiet_shape.png"

# A built-in effect on the OpenGL device runs its CPU body on the textures: the CPU picture.
expect 0 "" -- render --effect $fx/brightness_contrast --param bright=20 $gl "$card" "$work/bc_gl.png"
expect 0 "" -- render --effect $fx/brightness_contrast --param bright=20 --device cpu "$card" "$work/bc_cpu.png"
expect 0 "max difference 0" -- compare "$work/bc_gl.png" "$work/bc_cpu.png"

# Bad input: a missing sound file, a malformed gradient, a shader effect on the CPU.
expect 2 "cannot read audio" -- render --effect $fx/audio_spectrum $gl --audio "$work/missing.wav" "$card" "$work/x.png"
expect 2 "refused (result 3)" -- render --effect $fx/chromatic_glow $gl --param gradient_color="2,red,0" "$card" "$work/x.png"
expect 1 "wants an integer" -- render --effect $fx/audio_spectrum $gl --fps 0 "$card" "$work/x.png"
expect 3 "failed to render" -- render --effect $fx/pixelate --device cpu "$card" "$work/x.png"
exit $fail
