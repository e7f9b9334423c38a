#!/usr/bin/env bash
# The gallery: pictures of every window and dialog of Invarro on the demo installation and
# every kind of document it writes, as PNG pages in build/gallery/, with an index.html that
# shows them all. Run it after the README's build (scripts/build.sh); it needs pdftoppm
# (poppler-utils, installed by scripts/install-deps.sh). Nothing outside the gallery's
# folder (build/gallery/) is written: the demo data folder is made in its data/.
#
# Usage: scripts/gallery.sh [--server CONNECTION] [--out FOLDER]
#   --server  the demo's books are moved to the empty database CONNECTION names (a libpq
#             connection string, as `invarro-cli server upload` takes it) before any picture
#             is taken, so that every window and document shows the books on that server.
#   --out     the gallery goes to FOLDER instead of build/gallery (to keep one beside another).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${INVARRO_BUILD_DIR:-build}"
BIN="$BUILD_DIR/bin"
OUT="$BUILD_DIR/gallery"
SERVER=""
while [ $# -gt 0 ]; do
  case "$1" in
    --server)
      [ $# -ge 2 ] || { echo "gallery: --server needs a connection" >&2; exit 2; }
      SERVER="$2"
      shift 2
      ;;
    --out)
      [ $# -ge 2 ] || { echo "gallery: --out needs a folder" >&2; exit 2; }
      OUT="$2"
      shift 2
      ;;
    *)
      echo "usage: scripts/gallery.sh [--server CONNECTION] [--out FOLDER]" >&2
      exit 2
      ;;
  esac
done

for program in "$BIN/invarro-gallery" "$BIN/invarro-cli"; do
  if [ ! -x "$program" ]; then
    echo "gallery: $program is missing; build first (scripts/build.sh)" >&2
    exit 1
  fi
done
if ! command -v pdftoppm >/dev/null 2>&1; then
  echo "gallery: pdftoppm is missing; run scripts/install-deps.sh (poppler-utils)" >&2
  exit 1
fi

# The folder is emptied first: only one that is empty or holds an earlier gallery.
if [ -d "$OUT" ] && [ -n "$(ls -A "$OUT")" ] && [ ! -e "$OUT/windows/windows.txt" ]; then
  echo "gallery: $OUT holds something other than a gallery; give an empty folder" >&2
  exit 2
fi
rm -rf "$OUT"
mkdir -p "$OUT/windows" "$OUT/pdf" "$OUT/documents"
DATA="$OUT/data"
export QT_QPA_PLATFORM=offscreen

if [ -n "$SERVER" ]; then
  echo "gallery: the demo's books moved to the server"
  "$BIN/invarro-gallery" --demo "$DATA"
  "$BIN/invarro-cli" --data "$DATA" server upload "$SERVER"
fi

echo "gallery: windows"
"$BIN/invarro-gallery" "$DATA" "$OUT/windows"
echo "gallery: windows under a dark theme"
mkdir -p "$OUT/windows-dark"
"$BIN/invarro-gallery" --dark "$DATA" "$OUT/windows-dark"

cli() { "$BIN/invarro-cli" --data "$DATA" "$@"; }
# The numbers of the first records a report lists (its second column).
first_numbers() {
  local report="$1" count="$2"
  cli report "$report" --from 01/01/2000 --to 12/31/2099 --no-subtotals \
    --text "$OUT/pdf/$report.txt" >/dev/null
  awk '$1 ~ /^[0-9][0-9][0-9][0-9]\/[0-9][0-9]\/[0-9][0-9]$/ { print $2 }' \
    "$OUT/pdf/$report.txt" | head -n "$count"
}

echo "gallery: documents"
invoice="$(first_numbers "Invoice Register" 1)"
quote="$(first_numbers "Quote Report" 1)"
if [ -n "$invoice" ]; then
  for kind in invoice packing-slip file-copy; do
    cli invoice pdf "$invoice" --kind "$kind" --out "$OUT/pdf/$kind-$invoice.pdf" >/dev/null
  done
fi
if [ -n "$quote" ]; then
  cli invoice pdf "$quote" --kind quote --out "$OUT/pdf/quote-$quote.pdf" >/dev/null
fi
# The demo's Swiss company: an invoice that ends with its QR-bill.
cli --company 4 invoice pdf 7001 --out "$OUT/pdf/qr-bill-invoice-7001.pdf" >/dev/null
mkdir -p "$OUT/pdf/statements"
cli statements pdf --out "$OUT/pdf/statements" >/dev/null
# The first two statements stand for all of them.
ls "$OUT/pdf/statements"/*.pdf 2>/dev/null | sort | head -n 2 | while read -r statement; do
  cp "$statement" "$OUT/pdf/statement-$(basename "$statement")"
done
cli labels pdf --out "$OUT/pdf/labels.pdf" >/dev/null
cli letters pdf --out "$OUT/pdf/form-letter.pdf" >/dev/null
cli report --list | awk '{ print $1 }' | while IFS= read -r report; do
  [ -n "$report" ] || continue
  file="report-$(echo "$report" | tr -c 'A-Za-z0-9\n' '-').pdf"
  cli report "$report" --from 01/01/2000 --to 12/31/2099 --pdf "$OUT/pdf/$file" >/dev/null ||
    echo "gallery: report $report wrote nothing" >&2
done

for pdf in "$OUT"/pdf/*.pdf; do
  [ -e "$pdf" ] || continue
  name="$(basename "$pdf" .pdf)"
  # At most four pages of a document: the first pages show its layout.
  pdftoppm -png -r 60 -l 4 "$pdf" "$OUT/documents/$name"
done

echo "gallery: index"
# The pictures of one windows folder, each with its window's title.
window_figures() {
  while IFS=$'\t' read -r file title; do
    if [ "$file" = "#" ]; then continue; fi
    echo "<figure><img src=\"$1/$file\" alt=\"$title\"><figcaption>$file &mdash; $title</figcaption></figure>"
  done <"$OUT/$1/windows.txt"
}
{
  echo '<!DOCTYPE html><html><head><meta charset="utf-8"><title>Invarro gallery</title>'
  echo '<style>body{font-family:sans-serif;background:#eee}figure{display:inline-block;'
  echo 'vertical-align:top;margin:8px;background:#fff;padding:6px}img{max-width:900px;'
  echo 'border:1px solid #999}figcaption{font-size:13px}</style></head><body>'
  echo '<h1>Invarro gallery</h1><h2>Windows and dialogs</h2>'
  window_figures windows
  echo '<h2>Windows under a dark theme</h2>'
  window_figures windows-dark
  echo '<h2>Documents</h2>'
  for png in "$OUT"/documents/*.png; do
    [ -e "$png" ] || continue
    file="$(basename "$png")"
    echo "<figure><img src=\"documents/$file\" alt=\"$file\"><figcaption>$file</figcaption></figure>"
  done
  echo '<h2>Messages shown on the way</h2><pre>'
  grep '^#' "$OUT/windows/windows.txt" | cut -f2- | sed 's/&/\&amp;/g; s/</\&lt;/g' || true
  echo '</pre></body></html>'
} >"$OUT/index.html"

echo "gallery: $(ls "$OUT/windows"/*.png | wc -l) windows, $(ls "$OUT/documents"/*.png 2>/dev/null | wc -l) document pages in $OUT/index.html"
