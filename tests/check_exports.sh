#!/bin/sh
# Fails unless the dynamic symbol table of liborvex.so defines exactly the four exported functions
# (the version node itself shows up as an absolute symbol and is left out).
set -eu
got=$(nm -D --defined-only "$1" | awk '$2 != "A" {sub(/@.*/, "", $3); print $3}' | sort | tr '\n' ' ')
want="CreateOrvex CreateVisualProcess ReleaseOrvex ReleaseVisualProcess "
echo "exported: $got"
[ "$got" = "$want" ] || { echo "expected: $want"; exit 1; }
