#!/usr/bin/env bash
# Benchmark of Document::execute_set against docxtpl on the same generated
# template. Usage: bench/quire/run.sh BUILD_DIR   (quire_bench in BUILD_DIR/bin)
# Prints "name: value" lines: execute_set_ms, execute_set_vs_docxtpl_x,
# execute_set_peak_mb, and the peer's time and the template's XML size.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: run.sh BUILD_DIR}" && pwd)
bench="$build/bin/quire_bench"
if [ ! -x "$bench" ]; then
  echo "run.sh: $bench is missing; build the target quire_bench first" >&2
  exit 1
fi
# Debian's python3 carries python-docx and docxtpl.
py=/usr/bin/python3

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

median() { sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

"$py" "$here/make_doc.py" "$tmp/template.docx"
# The two engines take turns, so that a busy machine slows both alike.
for round in 1 2 3 4 5; do
  "$bench" "$tmp/template.docx" "$tmp/quire.docx" 3 > "$tmp/quire.$round"
  awk -F': ' '$1 == "execute_set_ms" {print $2}' "$tmp/quire.$round" >> "$tmp/quire.ms"
  "$py" "$here/peer.py" "$tmp/template.docx" "$tmp/docxtpl.docx" 1 >> "$tmp/peer.ms"
done

ms=$(median < "$tmp/quire.ms")
peer=$(median < "$tmp/peer.ms")
echo "execute_set_ms: $ms"
echo "execute_set_docxtpl_ms: $peer"
awk -v p="$peer" -v q="$ms" 'BEGIN {printf "execute_set_vs_docxtpl_x: %.1f\n", p / q}'
# Memory: the first run in a fresh process.
grep -E '^execute_set_(peak_mb|doc_xml_mb):' "$tmp/quire.1"
