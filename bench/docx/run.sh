#!/usr/bin/env bash
# Runs the docx benchmark against python-docx and the libzip+libxml2 floor.
# Usage: run.sh BUILD_DIR   (docx_bench must be built in BUILD_DIR/bin)
#
# The job, on a generated document of 2,000 paragraphs and 100 tables: open
# it, read every body paragraph's text, save it to a file the way
# docx::Document::save does (temporary file, fsync, rename, fsync of the
# folder). Each contender runs several times after a warm-up, in turns over
# a few rounds.
#   docx_roundtrip_ms          our time for the job
#   docx_vs_python_docx_x      python-docx's time for the same job over ours,
#                              both saving with the same durable write
#                              (higher is better)
#   docx_vs_python_docx_mem_x  the same with both saving to memory instead:
#                              the libraries alone, without the disk
#   docx_vs_floor_x            our time over the floor's: unzip every part,
#                              parse and serialise the main part with libxml2,
#                              zip every part again, same durable write
#                              (1.0 = no overhead)
set -euo pipefail

build=${1:?usage: run.sh BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
bench="$build/bin/docx_bench"
base="$here/../../libs/docx/testdata/plain.docx"
runs=${DOCX_BENCH_RUNS:-9}
peer_runs=${DOCX_BENCH_PEER_RUNS:-5}
[ -x "$bench" ] || { echo "run.sh: $bench not found; build target docx_bench" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bench" generate "$base" "$work/bench.docx" 2>"$work/generate.log"

# The machine may be shared: the contenders take turns over several rounds,
# and each figure is the median of its rounds' medians.
rounds=${DOCX_BENCH_ROUNDS:-3}
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# Debian's python-docx lives with the system interpreter.
python=/usr/bin/python3
[ -x "$python" ] || python=python3
peer_ok=1
: >"$work/ours" >"$work/floor" >"$work/ours_mem" >"$work/peer" >"$work/peer_mem"
for _ in $(seq "$rounds"); do
  "$bench" roundtrip "$work/bench.docx" "$work/ours.docx" "$runs" >>"$work/ours"
  "$bench" floor "$work/bench.docx" "$work/floor.docx" "$runs" >>"$work/floor"
  "$bench" memory "$work/bench.docx" "$runs" >>"$work/ours_mem"
  if ((peer_ok)); then
    "$python" "$here/python_docx_peer.py" file "$work/bench.docx" "$work/peer.docx" "$peer_runs" \
      >>"$work/peer" 2>"$work/peer.log" &&
    "$python" "$here/python_docx_peer.py" memory "$work/bench.docx" "$work/peer.docx" "$peer_runs" \
      >>"$work/peer_mem" 2>>"$work/peer.log" || peer_ok=0
  fi
done
ours=$(median <"$work/ours")
floor=$(median <"$work/floor")
ours_mem=$(median <"$work/ours_mem")
peer=NA peer_mem=NA vs_python=NA vs_python_mem=NA
if ((peer_ok)); then
  peer=$(median <"$work/peer")
  peer_mem=$(median <"$work/peer_mem")
  vs_python=$(ratio "$peer" "$ours")
  vs_python_mem=$(ratio "$peer_mem" "$ours_mem")
else
  echo "run.sh: python-docx peer failed: $(cat "$work/peer.log")" >&2
fi
vs_floor=$(ratio "$ours" "$floor")

echo "# $(cat "$work/generate.log")"
echo "# to file: ours $ours ms, python-docx $peer ms, floor $floor ms;" \
     "to memory: ours $ours_mem ms, python-docx $peer_mem ms"
echo "docx_roundtrip_ms: $ours"
echo "docx_vs_python_docx_x: $vs_python"
echo "docx_vs_python_docx_mem_x: $vs_python_mem"
echo "docx_vs_floor_x: $vs_floor"
