#!/bin/sh
# A device that refuses an effect's kernel (here: a program that does not compile) never gives a
# wrong picture: orvex render goes on on the CPU, says so in one warning line, and writes the CPU
# picture. Skips (exit 77) when no OpenCL device exists.
set -u
orvex=$1
work=$2
resources=$3
rm -rf "$work" && mkdir -p "$work"
cp -R "$resources" "$work/resources" || exit 1
program="$work/resources/video/effect/gamma_correction/gamma_correction.cl"
[ -f "$program" ] || { echo "FAIL: no $program"; exit 1; }
printf '__kernel void video_effect_gamma_correction(this does not compile\n' > "$program"
"$orvex" testcard --size 64x48 "$work/card.png" || exit 1
"$orvex" render --effect video/effect/gamma_correction --param Gamma=15 --device cpu "$work/card.png" \
    "$work/cpu.png" || exit 1
"$orvex" render --effect video/effect/gamma_correction --param Gamma=15 --device opencl --resources "$work/resources" \
    "$work/card.png" "$work/cl.png" 2>"$work/stderr.txt"
rc=$?
if [ $rc -ne 0 ] && grep -q "no OpenCL device" "$work/stderr.txt"; then
    echo "skipped: no OpenCL device"
    exit 77
fi
fail=0
[ $rc -eq 0 ] || { echo "FAIL: exit $rc: $(cat "$work/stderr.txt")"; fail=1; }
warnings=$(grep -c "warning: the OpenCL device refused video/effect/gamma_correction" "$work/stderr.txt")
[ "$warnings" -eq 1 ] || { echo "FAIL: $warnings warning lines, wanted 1: $(cat "$work/stderr.txt")"; fail=1; }
# The device's compiler may print its own diagnostics; of the command's lines only the warning.
lines=$(grep -c "^orvex" "$work/stderr.txt")
[ "$lines" -eq 1 ] || { echo "FAIL: $lines lines from orvex, wanted the one warning: $(cat "$work/stderr.txt")"; fail=1; }
"$orvex" compare --tolerance 0 "$work/cpu.png" "$work/cl.png" >/dev/null ||
    { echo "FAIL: the picture differs from the CPU's: $("$orvex" compare "$work/cpu.png" "$work/cl.png")"; fail=1; }
[ $fail -eq 0 ] && echo "cli refusal: one warning, the CPU picture"
exit $fail
