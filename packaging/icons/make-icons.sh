#!/usr/bin/env bash
# Draws the application icon (a mouse outline on the client's dark background) at every hicolor
# size the package installs. The PNGs are committed; run this only to change the icon.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256; do
    s=$((size * 4))  # drawn four times larger, then scaled down for smooth edges
    convert -size ${s}x${s} xc:none \
        -fill '#222529' -draw "roundrectangle $((s/16)),$((s/16)) $((s-s/16)),$((s-s/16)) $((s/6)),$((s/6))" \
        -fill none -stroke '#e8a33d' -strokewidth $((s/20)) \
        -draw "roundrectangle $((s*5/16)),$((s*3/16)) $((s*11/16)),$((s*13/16)) $((s*3/16)),$((s*3/16))" \
        -draw "line $((s/2)),$((s*3/16)) $((s/2)),$((s*7/16))" \
        -resize ${size}x${size} -strip PNG32:kestrafon-${size}.png
done
