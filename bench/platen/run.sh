#!/usr/bin/env bash
# Prints pdf_cold_s and pdf_warm_s for a 10-page report, and beside them
# pdf_office_floor_s, LibreOffice's own load + export + close of the same
# report driven directly (office_floor.py), and pdf_warm_vs_floor_x.
#   bench/platen/run.sh BUILD_DIR
set -euo pipefail
BUILD=${1:?usage: bench/platen/run.sh BUILD_DIR}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Ten pages: a heading, body text and a table on each.
/usr/bin/python3 - "$tmp/report.docx" <<'PY'
import sys, docx
d = docx.Document()
d.add_heading("Quarterly report", 0)
for page in range(1, 11):
    d.add_heading("Section %d" % page, 1)
    for i in range(4):
        d.add_paragraph("Paragraph %d of section %d. " % (i + 1, page)
                        + "The figures below summarise the filings of the quarter. " * 4)
    table = d.add_table(rows=3, cols=3)
    for r, row in enumerate(table.rows):
        for c, cell in enumerate(row.cells):
            cell.text = "R%dC%d" % (r + 1, c + 1)
    if page < 10:
        d.add_page_break()
d.save(sys.argv[1])
PY

"$BUILD/bin/platen_bench" "$tmp/report.docx" "$tmp" | tee "$tmp/platen"
floor=$(/usr/bin/python3 "$(dirname "$0")/office_floor.py" "$tmp/report.docx")
echo "pdf_office_floor_s: $floor"
awk -F': ' -v f="$floor" '$1 == "pdf_warm_s" {printf "pdf_warm_vs_floor_x: %.2f\n", $2 / f}' "$tmp/platen"
