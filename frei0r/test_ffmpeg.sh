#!/usr/bin/env bash
# Effects through the real host: FFmpeg's frei0r filter renders a short lossless BGRA clip, and
# every frame must equal `orvex render` of the same effect, parameters and frame position, byte
# for byte.
# usage: test_ffmpeg.sh FFMPEG ORVEX MODULE_DIR WORK_DIR
set -euo pipefail
ffmpeg=$1 orvex=$2 modules=$3 work=$4
frames=3

rm -rf "$work"
mkdir -p "$work"
cd "$work"

# Three 64x48 frames cut from a wider test card at moving offsets, so that no two are alike;
# FFV1 keeps BGRA losslessly. 30 frames per second: frame n is at n/30 s, position n.
"$orvex" testcard --size 160x48 card.png
"$ffmpeg" -nostdin -v error -loop 1 -framerate 30 -i card.png -vf "crop=64:48:n*32:0,format=bgra" \
  -frames:v $frames -c:v ffv1 -y clip.mkv
"$ffmpeg" -nostdin -v error -i clip.mkv -pix_fmt bgra -start_number 0 -y src_%d.png

# effect ; frei0r filter_params (positional) ; the same values for orvex render
cases=(
  # a float range: 0.25 of [0, 28]
  "gamma_correction;0.25;--param Gamma=7"
  # out of 0..1 is held at the end of the range; NaN leaves the default
  "gamma_correction;7;--param Gamma=28"
  "gamma_correction;nan;"
  # bool, an int range and two colours (the yellow bar, 191/255 = 0.749, becomes blue)
  "color_replace;n|0.25|0.749/0.749/0|0/0/1;--param Solid=false --param Similar=25 --param Target_Red=191 --param Target_Green=191 --param Target_Blue=0 --param Replace_Red=0 --param Replace_Green=0 --param Replace_Blue=255"
  # colours from int parameters declared 0..255, and a float range
  "tint;0.2/0.4/0.6|1/0.8/0.6|0.5;--param black_red=51 --param black_green=102 --param black_blue=153 --param white_red=255 --param white_green=204 --param white_blue=153 --param amount=50"
  # floats without a range pass as given
  "color_correction_color_balance;30|0|-20|0|10|0|0|0|-15|y;--param shadow_red=30 --param shadow_green=0 --param shadow_blue=-20 --param midtone_red=0 --param midtone_green=10 --param midtone_blue=0 --param highlight_red=0 --param highlight_green=0 --param highlight_blue=-15 --param reserve_luminosity=true"
  # int ranges of [-200, 200] and a bool
  "channel_mixer;0.75|0.625|0.5|0.5|0.5|0.75|0.5|0.5|0.5|0.5|0.625|0.5|n;--param red_channel_red=100 --param red_channel_green=50 --param green_channel_green=100 --param blue_channel_blue=50"
)
# The glitch effects seed their patterns with the frame position: with their modules built, they
# show that FFmpeg's time becomes the same position that orvex render is given.
for glitch in glitch_box_shift glitch_chromatic_aberration glitch_fractal_box; do
  if [ -e "$modules/orvex_$glitch.so" ]; then cases+=("$glitch;;"); fi
done

failed=0
for c in "${cases[@]}"; do
  IFS=';' read -r effect f0r_params orvex_params <<<"$c"
  name="${effect}_$(printf '%s' "$f0r_params" | tr -c 'A-Za-z0-9' '_')"
  filter="frei0r=filter_name=orvex_$effect"
  if [ -n "$f0r_params" ]; then filter="$filter:filter_params=$f0r_params"; fi
  if ! FREI0R_PATH="$modules" "$ffmpeg" -nostdin -v error -i clip.mkv -vf "$filter" -pix_fmt bgra \
      -start_number 0 -y "${name}_ffmpeg_%d.png"; then
    echo "FAIL $effect [$f0r_params]: ffmpeg failed"
    failed=1
    continue
  fi
  ok=1
  for ((n = 0; n < frames; n++)); do
    # shellcheck disable=SC2086 # the orvex parameters are separate words
    "$orvex" render --device cpu --effect "video/effect/$effect" $orvex_params --frame $n \
      "src_$n.png" "${name}_orvex_$n.png"
    if ! "$orvex" compare "${name}_orvex_$n.png" "${name}_ffmpeg_$n.png" >/dev/null; then
      echo "FAIL $effect [$f0r_params] frame $n: $("$orvex" compare "${name}_orvex_$n.png" "${name}_ffmpeg_$n.png")"
      ok=0
    fi
  done
  # A picture that did not change at all would hide a filter that passes frames through.
  if "$orvex" compare "src_0.png" "${name}_ffmpeg_0.png" >/dev/null && [ -n "$orvex_params" ]; then
    echo "FAIL $effect [$f0r_params]: the frame came out unchanged"
    ok=0
  fi
  if [ $ok = 1 ]; then echo "ok   $effect [$f0r_params]: $frames frames identical"; else failed=1; fi
done

# On a still picture a glitch still changes from frame to frame: FFmpeg's time must reach the
# effect as a moving frame position, not as one constant.
"$ffmpeg" -nostdin -v error -loop 1 -framerate 30 -i card.png -vf "crop=64:48:0:0,format=bgra" \
  -frames:v 2 -c:v ffv1 -y still.mkv
for glitch in glitch_box_shift glitch_chromatic_aberration glitch_fractal_box; do
  [ -e "$modules/orvex_$glitch.so" ] || continue
  FREI0R_PATH="$modules" "$ffmpeg" -nostdin -v error -i still.mkv -vf "frei0r=filter_name=orvex_$glitch" \
    -pix_fmt bgra -start_number 0 -y "still_${glitch}_%d.png"
  if "$orvex" compare "still_${glitch}_0.png" "still_${glitch}_1.png" >/dev/null; then
    echo "FAIL $glitch: frames 0 and 1 of a still picture are the same"
    failed=1
  else
    echo "ok   $glitch: a still picture changes from frame 0 to frame 1"
  fi
done
# Every module through FFmpeg at its defaults: it loads, renders every frame, and gives BGRA frames.
for module in "$modules"/orvex_*.so; do
  effect=$(basename "$module" .so)
  if ! FREI0R_PATH="$modules" "$ffmpeg" -nostdin -v error -i clip.mkv -vf "frei0r=filter_name=$effect" \
      -pix_fmt bgra -start_number 0 -y "all_${effect}_%d.png" || [ ! -s "all_${effect}_$((frames - 1)).png" ]; then
    echo "FAIL $effect: ffmpeg did not render it"
    failed=1
  fi
done
echo "every module ran through ffmpeg"
exit $failed
