#!/usr/bin/env bash
# Benchmark of Document::_add_table: 100 patent tables with a picture each,
# then save. Usage: bench/add_table/run.sh BUILD_DIR (add_table_bench in
# BUILD_DIR/bin). Prints "add_table_100_ms: X" (median of 7 runs).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:?usage: run.sh BUILD_DIR}" && pwd)
bench="$build/bin/add_table_bench"
if [ ! -x "$bench" ]; then
  echo "run.sh: $bench is missing; build the target add_table_bench first" >&2
  exit 1
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# A LibreOffice page with the "Table Grid" style, and the sample report's
# 1600 x 800 figure.
"$bench" "$root/corvana通用模組/Quire_Model/testdata/patent_grid.docx" \
  "$root/examples/quire/fig1.png" "$tmp/tables.docx" 7
