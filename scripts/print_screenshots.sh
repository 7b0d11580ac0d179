#!/usr/bin/env bash
# Prints a generated wage table of 5,000 persons through LibreOffice from the result workbook and
# draws its first, second and last page into docs/screenshots/libreoffice-page-*.png, and the first
# and last page of Quenly's own PDF of the same table into docs/screenshots/pdf-page-{1,2}.png.
# Usage: scripts/print_screenshots.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh test
dir=${1:-build}
if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja -DQUENLY_GUI=OFF >/dev/null
fi
cmake --build "$dir" --target quenly-batch -j 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 bench/generate_wage_table.py 5000 "$work/wage.xlsx"
"$dir/bin/quenly-batch" "$work/wage.xlsx" "$work/slips.xlsx" --rows 1-2 --cols A-Y
"$dir/bin/quenly-batch" "$work/wage.xlsx" "$work/quenly.pdf" --rows 1-2 --cols A-Y
soffice --headless "-env:UserInstallation=file://$work/profile" --convert-to pdf \
    --outdir "$work" "$work/slips.xlsx" >/dev/null 2>&1
mkdir -p docs/screenshots
own=$(pdfinfo "$work/quenly.pdf" | awk '/^Pages:/ {print $2}')
echo "Quenly's PDF: $own pages"
pdftoppm -f 1 -l 1 -r 100 -png -singlefile "$work/quenly.pdf" docs/screenshots/pdf-page-1
pdftoppm -f "$own" -l "$own" -r 100 -png -singlefile "$work/quenly.pdf" docs/screenshots/pdf-page-2
pages=$(pdfinfo "$work/slips.pdf" | awk '/^Pages:/ {print $2}')
echo "LibreOffice: $pages pages"
for page in 1 2 last; do
    number=$page
    [ "$page" = last ] && number=$pages
    pdftoppm -f "$number" -l "$number" -r 60 -png -singlefile "$work/slips.pdf" \
        "docs/screenshots/libreoffice-page-$page"
done
