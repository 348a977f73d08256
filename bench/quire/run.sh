#!/usr/bin/env bash
# Benchmark of Document::execute_set against docxtpl on the same generated
# template. Usage: bench/quire/run.sh BUILD_DIR   (quire_bench in BUILD_DIR/bin)
# Prints "name: value" lines: execute_set_ms, execute_set_vs_docxtpl_x,
# execute_set_peak_mb, and the peer's time and the template's XML size;
# then the growth and memory figures on the same template repeated:
#   execute_set_ms_per_mb_{1,10,100}x   time per MB of XML at 1x, 10x, 100x
#   execute_set_growth_x                the largest of the three over the least
#   execute_set_mem_x_0_5mb             peak memory added over the XML size (1x)
#   execute_set_mem_x                   the same on 10 MB of XML (20x)
#   tree_{libxml2,pugixml}_mem_x        the parsed tree alone on that XML
#   tree_filled_{libxml2,pugixml}_mem_x the tree of the filled document, over
#                                       the template's XML (what a save holds)
# QUIRE_BENCH_GROWTH=0 leaves the 10x and 100x runs out.
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
field() { awk -F': ' -v k="$1" '$1 == k {print $2}' "$2"; }
echo "execute_set_mem_x_0_5mb: $(field execute_set_mem_x "$tmp/quire.1")"
per_mb_1x=$(awk -v q="$ms" -v mb="$(field execute_set_doc_xml_mb "$tmp/quire.1")" \
  'BEGIN {printf "%.1f", q / mb}')
echo "execute_set_ms_per_mb_1x: $per_mb_1x"

"$py" "$here/make_doc.py" "$tmp/t20.docx" 20
"$bench" "$tmp/t20.docx" "$tmp/quire20.docx" 1 > "$tmp/quire20"
echo "# 20x: $(field execute_set_doc_xml_mb "$tmp/quire20") MB of XML," \
  "peak $(field execute_set_peak_mb "$tmp/quire20") MB"
echo "execute_set_mem_x: $(field execute_set_mem_x "$tmp/quire20")"
# The parsed tree alone on the same XML: libxml2 (the docx layer's) against
# pugixml, a compact tree (tree_bench is built where pugixml is installed).
if [ -x "$build/bin/tree_bench" ]; then
  "$build/bin/tree_bench" "$tmp/t20.docx" | grep -E '^tree_(libxml2|pugixml)_(mem_x|parse_ms):'
fi
# The same trees holding the filled document, over the template's XML: the
# fill adds run and paragraph properties, so the tree a save must walk is
# larger than the one that was opened.
if [ -x "$build/bin/tree_bench" ]; then
  "$build/bin/tree_bench" "$tmp/quire20.docx" > "$tmp/tree_filled"
  template_mb=$(field execute_set_doc_xml_mb "$tmp/quire20")
  echo "# filled document: $(field tree_doc_xml_mb "$tmp/tree_filled") MB of XML"
  for t in libxml2 pugixml; do
    awk -v f="$(field tree_doc_xml_mb "$tmp/tree_filled")" -v m="$template_mb" \
        -v x="$(field "tree_${t}_mem_x" "$tmp/tree_filled")" -v t="$t" \
        'BEGIN {printf "tree_filled_%s_mem_x: %.1f\n", t, x * f / m}'
  done
fi
rm -f "$tmp/t20.docx" "$tmp/quire20.docx"

if [ "${QUIRE_BENCH_GROWTH:-1}" != 0 ]; then
  "$py" "$here/make_doc.py" "$tmp/t10.docx" 10
  "$bench" "$tmp/t10.docx" "$tmp/quire10.docx" 3 > "$tmp/quire10"
  rm -f "$tmp/t10.docx" "$tmp/quire10.docx"
  "$py" "$here/make_doc.py" "$tmp/t100.docx" 100
  # Three runs, as at 1x and 10x: a single run is the process's first, and
  # pays for faulting in every fresh page of its ~900 MB (a fifth of its
  # time) where the medians at 1x and 10x reuse freed memory.
  "$bench" "$tmp/t100.docx" "$tmp/quire100.docx" 3 > "$tmp/quire100"
  per_mb_10x=$(field execute_set_ms_per_mb "$tmp/quire10")
  per_mb_100x=$(field execute_set_ms_per_mb "$tmp/quire100")
  echo "execute_set_ms_per_mb_10x: $per_mb_10x"
  echo "# 100x: peak $(field execute_set_peak_mb "$tmp/quire100") MB"
  echo "execute_set_ms_per_mb_100x: $per_mb_100x"
  printf '%s\n' "$per_mb_1x" "$per_mb_10x" "$per_mb_100x" |
    awk 'NR == 1 || $1 > hi {hi = $1} NR == 1 || $1 < lo {lo = $1}
         END {printf "execute_set_growth_x: %.2f\n", hi / lo}'
fi
