#!/usr/bin/env bash
# A picture of a sheet of address labels as the support tool writes it: the sample archive's
# customers on a 3 x 8 sheet (70 x 37 mm), rendered with poppler's pdftoppm, the labels'
# edges drawn over it in light gray as the die-cut sheet shows them (the PDF itself has none).
# Saved as docs/etichette.png.
#
# Usage: scripts/label_sheet_picture.sh [build directory]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" -j 2 --target clivara-archivio clivara-elenco >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/clivara-archivio" sample "$work/Archivio.xls"
QT_QPA_PLATFORM=offscreen "$build/clivara-archivio" etichette "$work/Archivio.xls" \
    "$work/etichette.pdf" --formato 3x8 2>/dev/null
dpi=60
pdftoppm -r "$dpi" -png -singlefile "$work/etichette.pdf" "$work/sheet"

# The 3 x 8 labels: 70 x 37 mm from 0.5 mm below the top edge, no gaps.
draw=()
for row in $(seq 0 7); do
    for column in 0 1 2; do
        x0=$(awk "BEGIN{printf \"%d\", $column * 70 / 25.4 * $dpi}")
        y0=$(awk "BEGIN{printf \"%d\", (0.5 + $row * 37) / 25.4 * $dpi}")
        x1=$(awk "BEGIN{printf \"%d\", ($column + 1) * 70 / 25.4 * $dpi - 1}")
        y1=$(awk "BEGIN{printf \"%d\", (0.5 + ($row + 1) * 37) / 25.4 * $dpi - 1}")
        draw+=(-draw "roundrectangle $x0,$y0 $x1,$y1 6,6")
    done
done
mkdir -p docs
convert "$work/sheet.png" -fill none -stroke '#c8c8c8' "${draw[@]}" -bordercolor '#999999' \
    -border 1 docs/etichette.png
echo "docs/etichette.png"
