#!/bin/sh
# Installs the build into a scratch prefix, builds a host program against it with pkg-config
# only, and runs it on the installed resource tree.
set -eu
build=$1
work=$2
rm -rf "$work" && mkdir -p "$work"
cmake --install "$build" --prefix "$work/prefix" >"$work/install.log"
pcdir=$(dirname "$(find "$work/prefix" -name orvex.pc | head -n 1)")
export PKG_CONFIG_PATH="$pcdir"
# The prefix baked in at configure time is not this one: point pkg-config at the scratch prefix.
flags=$(pkg-config --define-variable=prefix="$work/prefix" --cflags --libs orvex)
resources=$(pkg-config --define-variable=prefix="$work/prefix" --variable=resourcedir orvex)
c++ -std=c++17 -o "$work/host" "$(dirname "$0")/install/host.cpp" $flags
libdir=$(pkg-config --define-variable=prefix="$work/prefix" --variable=libdir orvex)
LD_LIBRARY_PATH="$libdir" "$work/host" "$resources"
# A hostile host under the sanitizers: refused frames, overlapping frames, bad values and handles.
c++ -std=c++17 -g -fsanitize=address,undefined -fno-sanitize-recover=undefined -o "$work/hostile_host" \
  "$(dirname "$0")/install/hostile_host.cpp" $flags
ASAN_OPTIONS=detect_leaks=1 LD_LIBRARY_PATH="$libdir" "$work/hostile_host" "$resources"
# The installed command finds its libraries and resources on its own.
"$work/prefix/bin/orvex" list | grep -q gamma_correction
# The installed Python module, where the build has one, finds its libraries and the resource tree
# beside it on its own.
module=$(find "$work/prefix" -name 'orvex.cpython-*.so' | head -n 1)
if [ -n "$module" ] && /usr/bin/python3 -c "import numpy" 2>/dev/null; then
  PYTHONPATH=$(dirname "$module") /usr/bin/python3 -c "
import numpy, orvex
assert orvex.resources().startswith('$work/prefix/'), orvex.resources()
frame = numpy.zeros((9, 7, 4), numpy.uint8)
assert orvex.Effect('video/effect/tint', device='cpu').render(frame).shape == (9, 7, 4)
"
fi
