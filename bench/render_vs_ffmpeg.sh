#!/bin/sh
# Whole-process speed of `orvex render --device cpu` beside FFmpeg running the same effect through
# our frei0r module, on the same generated 1080p clip with the same encoder settings (libx264 at
# its defaults, yuv420p, all threads), and beside FFmpeg's decode and encode alone. Runs are
# interleaved and repeated; the medians and the ratio orvex / ffmpeg+frei0r are printed (target:
# 1.1 or less). Other load on the machine weighs on every command alike.
#
#   bench/render_vs_ffmpeg.sh [EFFECT ORVEX-PARAM FREI0R-PARAMS]
#   bench/render_vs_ffmpeg.sh gaussian_blur Blurriness=10 0.2        (the default)
#
# BUILD names the build tree (default build/; it needs orvex and the effect's frei0r module:
# cmake --build build --target orvex_cli orvex_frei0r_EFFECT). FRAMES (120) and REPS (5) size the
# run.
set -eu
effect=${1:-gaussian_blur}
param=${2:-Blurriness=10}
f0r=${3:-0.2}
build=${BUILD:-build}
frames=${FRAMES:-120}
reps=${REPS:-5}
orvex=$build/orvex
[ -x "$orvex" ] || { echo "no $orvex: cmake --build $build --target orvex_cli" >&2; exit 1; }
[ -f "$build/frei0r-1/orvex_$effect.so" ] ||
    { echo "no frei0r module: cmake --build $build --target orvex_frei0r_$effect" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

ffmpeg -v error -f lavfi -i "testsrc2=size=1920x1080:rate=30" -frames:v "$frames" -c:v libx264 -pix_fmt yuv420p \
    "$work/clip.mp4"

seconds() {  # seconds COMMAND...: wall time of one run
    start=$(date +%s.%N)
    "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
    end=$(date +%s.%N)
    echo "$start $end" | awk '{printf "%.3f\n", $2 - $1}'
}
median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

: >"$work/orvex" && : >"$work/frei0r" && : >"$work/anchor"
for i in $(seq "$reps"); do
    seconds "$orvex" render --device cpu --effect "video/effect/$effect" --param "$param" "$work/clip.mp4" \
        "$work/orvex.mp4" >>"$work/orvex"
    seconds env FREI0R_PATH="$build/frei0r-1" ffmpeg -v error -y -i "$work/clip.mp4" \
        -vf "frei0r=filter_name=orvex_$effect:filter_params=$f0r" -c:v libx264 -pix_fmt yuv420p \
        "$work/frei0r.mp4" >>"$work/frei0r"
    seconds ffmpeg -v error -y -i "$work/clip.mp4" -c:v libx264 -pix_fmt yuv420p "$work/anchor.mp4" >>"$work/anchor"
done
o=$(median <"$work/orvex")
f=$(median <"$work/frei0r")
a=$(median <"$work/anchor")
size() { stat -c %s "$1" | awk '{printf "%.0f kB", $1 / 1000}'; }
printf '%d frames of 1920x1080, %s %s, median of %d runs (all runs: orvex %s; frei0r %s)\n' "$frames" "$effect" \
    "$param" "$reps" "$(tr '\n' ' ' <"$work/orvex")" "$(tr '\n' ' ' <"$work/frei0r")"
printf '  orvex render --device cpu          %7.2f s  %s\n' "$o" "$(size "$work/orvex.mp4")"
printf '  ffmpeg -vf frei0r=orvex_%-10s %7.2f s  %s\n' "$effect" "$f" "$(size "$work/frei0r.mp4")"
printf '  ffmpeg decode + encode alone       %7.2f s  %s\n' "$a" "$(size "$work/anchor.mp4")"
echo "$o $f $a" | awk '{printf "ratio orvex / ffmpeg+frei0r: %.2f (target <= 1.10); effect share: orvex %.2f s, frei0r %.2f s\n", $1 / $2, $1 - $3, $2 - $3}'
