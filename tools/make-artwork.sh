#!/bin/sh
# Regenerates the window artwork (res/*.png) from tools/artwork/make_artwork.cpp.
# Usage: tools/make-artwork.sh [build-directory]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/artwork}
cmake -S "$root/tools/artwork" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target kq_make_artwork
QT_QPA_PLATFORM=offscreen "$build/kq_make_artwork" "$root/res"
