#!/bin/sh
# Each effect with an OpenCL body renders through the command on both devices, and the two
# pictures agree within one per byte. Skips (exit 77) when no OpenCL device exists.
set -u
orvex=$1
work=$2
rm -rf "$work" && mkdir -p "$work"
"$orvex" testcard --size 203x117 "$work/card.png" || exit 1
fail=0
for effect in brightness_contrast gamma_correction tint channel_mixer color_banlance black_white_hitfilm \
              color_balance_hls color_correction_color_balance channel_invert adjust_levels color_pass \
              color_replace leave_color; do
    set --
    case $effect in
        color_correction_color_balance) set -- --param shadow_red=40 --param highlight_blue=-30 ;;
        color_balance_hls) set -- --param hue=90 --param saturation=30 ;;
    esac
    "$orvex" render --effect "video/effect/$effect" "$@" --device cpu "$work/card.png" "$work/$effect-cpu.png" || fail=1
    out=$("$orvex" render --effect "video/effect/$effect" "$@" --device opencl "$work/card.png" "$work/$effect-cl.png" 2>&1)
    rc=$?
    if [ $rc -ne 0 ] && printf '%s' "$out" | grep -q "no OpenCL device"; then
        echo "skipped: no OpenCL device"
        exit 77
    fi
    [ $rc -eq 0 ] || { echo "FAIL: $effect on opencl: $out"; fail=1; continue; }
    "$orvex" compare --tolerance 1 "$work/$effect-cpu.png" "$work/$effect-cl.png" >/dev/null ||
        { echo "FAIL: $effect differs: $("$orvex" compare "$work/$effect-cpu.png" "$work/$effect-cl.png")"; fail=1; }
done
# Raw YUV files through Convert: encoded on OpenCL, decoded on both devices, within 3 per byte.
for fmt in yv12 nv12 p010; do
    "$orvex" vp convert --format $fmt --matrix 2020 --device opencl "$work/card.png" "$work/card-$fmt.yuv" ||
        { echo "FAIL: encoding $fmt on opencl"; fail=1; continue; }
    for dev in cpu opencl; do
        "$orvex" vp convert --size 203x117 --format $fmt --matrix 2020 --device $dev "$work/card-$fmt.yuv" \
            "$work/$fmt-$dev.png" || { echo "FAIL: decoding $fmt on $dev"; fail=1; }
    done
    "$orvex" compare --tolerance 3 "$work/$fmt-cpu.png" "$work/$fmt-opencl.png" >/dev/null ||
        { echo "FAIL: $fmt differs: $("$orvex" compare "$work/$fmt-cpu.png" "$work/$fmt-opencl.png")"; fail=1; }
done
# Composing two pictures on both devices: the same picture within the blend tables' rounding.
"$orvex" testcard --size 97x61 "$work/small.png" || exit 1
for op in "blend --mode 2 --opacity 0.8 --rect 0.25,0.25,0.5,0.6" "transform --mode 0 --anchor 0.3,0.5 --scale 0.7"; do
    # shellcheck disable=SC2086
    "$orvex" vp $op --device cpu "$work/small.png" "$work/card.png" "$work/compose-cpu.png" || fail=1
    # shellcheck disable=SC2086
    "$orvex" vp $op --device opencl "$work/small.png" "$work/card.png" "$work/compose-cl.png" ||
        { echo "FAIL: vp $op on opencl"; fail=1; continue; }
    "$orvex" compare --tolerance 3 "$work/compose-cpu.png" "$work/compose-cl.png" >/dev/null ||
        { echo "FAIL: vp $op differs: $("$orvex" compare "$work/compose-cpu.png" "$work/compose-cl.png")"; fail=1; }
done
[ $fail -eq 0 ] && echo "cli devices: all effects agree"
exit $fail
