#!/bin/sh
# Layers run one way: each folder of the library includes only from the folders below it
# (host < gpu < imagecpu < effects, visual < catalogue < lab). Prints every include that goes up.
root=${1:?usage: check_layers.sh SOURCE_DIR}
status=0
check() {
    folder=$1
    shift
    for above in "$@"; do
        if grep -rnE "#include \"$above/" "$root/$folder" --include='*.h' --include='*.cpp'; then
            echo "check_layers: $folder/ includes from $above/, a layer above it"
            status=1
        fi
    done
}
check host gpu imagecpu effects visual catalogue lab
check gpu imagecpu effects visual catalogue lab
check imagecpu effects visual catalogue lab
check effects visual catalogue lab
check visual effects catalogue lab
check catalogue lab
exit $status
