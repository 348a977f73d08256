#!/usr/bin/env bash
# End to end under Wine, as a person would on Windows:
#   1. patent-site.exe serves the local stand-in site on loopback;
#   2. travo-search.exe 石墨烯 --site http://127.0.0.1:PORT writes
#      C:/corvana/TRAVO專利檢索軟體/專利檢索列表.xlsx inside the Wine prefix,
#      and openpyxl finds the hits it printed; travo-search.exe 無結果, answered
#      with an empty result page without a count, ends normally with the
#      header row alone;
#   3. quire.exe run, on examples/quire/report.json and on a copy with a
#      Chinese-named template and output folder, given as /tmp/... paths
#      (drive Z: under Wine); PDF is left out (no LibreOffice under Wine);
#      asked for a PDF, quire.exe names Word and LibreOffice as missing, and
#      with the tests' stand-in Word registered it writes the PDF through it.
#
#   end-to-end.sh [BUILD_DIR]      (default build-windows)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/scripts/lib.sh"
build=$(cd "${1:-$root/build-windows}" && pwd)
bin=$build/bin
export TRAVO_WINEPREFIX=$build/wine
run() { "$here/wine-run.sh" --prefix "$TRAVO_WINEPREFIX" "$@"; }
unset CORVANA_ROOT TRAVO_SITE
# Debian's Python, which has python3-openpyxl (scripts/setup.sh).
py=/usr/bin/python3
[ -x "$py" ] || py=python3

work=$(mktemp -d /tmp/travo-e2e.XXXXXX)
site_pid=
cleanup() {
  if [ -n "$site_pid" ]; then kill "$site_pid" 2>/dev/null || true; wait "$site_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

echo "end-to-end: patent-site.exe on loopback"
# Not through run(): $! must be the Wine process itself (wine-run.sh execs it).
"$here/wine-run.sh" --prefix "$TRAVO_WINEPREFIX" "$bin/patent-site.exe" --port 0 --no-count-when-empty > "$work/site.out" 2>&1 &
site_pid=$!
site=$(travo_wait_listening 120 "$site_pid" "$work/site.out") ||
  { echo "end-to-end: patent-site.exe did not start" >&2; exit 1; }
echo "end-to-end: site at $site"

list=$(travo_search_list "$TRAVO_WINEPREFIX/drive_c/corvana")
rm -f "$list"
echo "end-to-end: travo-search.exe --site $site 石墨烯"
run "$bin/travo-search.exe" --site "$site" 石墨烯 > "$work/search.out"
tr -d '\r' < "$work/search.out" > "$work/search.txt"
grep -q "完成" "$work/search.txt" || { cat "$work/search.txt"; echo "end-to-end: no completion line" >&2; exit 1; }
[ -f "$list" ] || { echo "end-to-end: $list was not written" >&2; exit 1; }
"$py" - "$list" "$work/search.txt" <<'PY'
import sys, openpyxl
rows = [[c if c is not None else "" for c in r] for r in openpyxl.load_workbook(sys.argv[1]).active.iter_rows(values_only=True)]
printed = open(sys.argv[2], encoding="utf-8").read()
assert len(rows) >= 2, rows
assert rows[0][0] == "專利公開號", rows[0]
hits = rows[1:]
for r in hits:
    assert r[0] and r[0] in printed, f"{r[0]!r} was not printed by travo-search"
print(f"end-to-end: workbook holds {len(hits)} hits, each printed by travo-search")
PY

echo "end-to-end: travo-search.exe --site $site 無結果 (an empty result page without a count)"
status=0
run "$bin/travo-search.exe" --site "$site" 無結果 > "$work/empty.out" || status=$?
tr -d '\r' < "$work/empty.out" > "$work/empty.txt"
if [ "$status" != 0 ] || grep -q "無法辨識" "$work/empty.txt"; then
  cat "$work/empty.txt"; echo "end-to-end: an empty search was not taken as one (exit $status)" >&2; exit 1
fi
"$py" - "$list" <<'PY'
import sys, openpyxl
rows = list(openpyxl.load_workbook(sys.argv[1]).active.iter_rows(values_only=True))
assert len(rows) == 1 and rows[0][0] == "專利公開號", rows
print("end-to-end: an empty search leaves the header row alone")
PY

if [ ! -f "$bin/quire.exe" ]; then
  echo "end-to-end: quire.exe not built for Windows, its checks are skipped"
  exit 0
fi
for variant in plain chinese; do
  dir=$work/$variant
  mkdir -p "$dir"
  cp "$root"/examples/quire/{template.docx,fig1.png,fig2.png} "$dir/"
  if [ "$variant" = plain ]; then
    job=$dir/job.json; out=$dir/report-filled.docx
    "$py" - "$root/examples/quire/report.json" "$job" "" <<'PY'
import json, sys
job = json.load(open(sys.argv[1], encoding="utf-8"))
for s in job["steps"]:
    if s["op"] == "output": s["pdf"] = False
json.dump(job, open(sys.argv[2], "w", encoding="utf-8"), ensure_ascii=False)
PY
  else
    mv "$dir/template.docx" "$dir/專利 範本.docx"
    mkdir -p "$dir/輸出 資料夾"
    job="$dir/工作 檔.json"; out="$dir/輸出 資料夾/report-filled.docx"
    "$py" - "$root/examples/quire/report.json" "$job" "輸出 資料夾/" <<'PY'
import json, sys
job = json.load(open(sys.argv[1], encoding="utf-8"))
for s in job["steps"]:
    if s["op"] == "set_word_version_path": s["path"] = "專利 範本.docx"
    if s["op"] == "run_version": s["save_path"] = sys.argv[3]
    if s["op"] == "output": s["pdf"] = False
json.dump(job, open(sys.argv[2], "w", encoding="utf-8"), ensure_ascii=False)
PY
  fi
  echo "end-to-end: quire.exe run $job (PDF skipped: no LibreOffice under Wine)"
  run "$bin/quire.exe" run "$job" --json "$dir/result.json" > "$work/quire.out"
  [ -s "$out" ] || { cat "$work/quire.out"; echo "end-to-end: $out was not written" >&2; exit 1; }
  "$py" - "$out" <<'PY'
import sys, zipfile
text = zipfile.ZipFile(sys.argv[1]).read("word/document.xml").decode("utf-8")
assert "國立臺灣大學" in text and "{{委託人}}" not in text
print("end-to-end: " + sys.argv[1].rsplit("/", 1)[-1] + " holds the filled text")
PY
done

# Asked for a PDF with neither Microsoft Word nor LibreOffice installed: the
# Word file is kept and the message names both and says what to install.
dir=$work/pdf
mkdir -p "$dir"
cp "$root"/examples/quire/{report.json,template.docx,fig1.png,fig2.png} "$dir/"
echo "end-to-end: quire.exe run report.json with PDF, no Word, no LibreOffice"
if run "$bin/quire.exe" run "$dir/report.json" > "$work/pdf.out" 2> "$work/pdf.err"; then
  echo "end-to-end: quire.exe reported success without Word or LibreOffice" >&2; exit 1
fi
grep -q "neither Microsoft Word nor LibreOffice" "$work/pdf.err" && grep -q "install LibreOffice" "$work/pdf.err" ||
  { cat "$work/pdf.err"; echo "end-to-end: the message does not name both, or no install hint" >&2; exit 1; }
[ -s "$dir/report-filled.docx" ] || { echo "end-to-end: the Word file was not kept" >&2; exit 1; }

# The same job through Word: the stand-in Word of the converter's tests,
# registered as Word.Application in a Wine prefix of its own (registration
# holds for a whole prefix, and the checks above must see no Word).
word=$bin/platen_stand_in_word.exe
if [ -f "$word" ]; then
  word_prefix=$build/wine-e2e-word
  run_word() { "$here/wine-run.sh" --prefix "$word_prefix" "$@"; }
  trap 'run_word "$word" /UnregServer || true; cleanup' EXIT
  run_word "$word" /RegServer
  dir=$work/pdf-word
  mkdir -p "$dir"
  cp "$root"/examples/quire/{report.json,template.docx,fig1.png,fig2.png} "$dir/"
  echo "end-to-end: quire.exe run report.json with PDF, through (the stand-in for) Microsoft Word"
  run_word "$bin/quire.exe" run "$dir/report.json" > "$work/word.out" 2>&1 || { cat "$work/word.out"; exit 1; }
  head -c 23 "$dir/report-filled.pdf" | grep -q "stand-in Word" ||
    { cat "$work/word.out"; echo "end-to-end: no PDF from Word" >&2; exit 1; }
  # The Word that quire.exe started has quit with it. (Windows processes
  # are found by their command line and their WINEPREFIX.)
  words_left() {
    local p
    for p in $(pgrep -f platen_stand_in_word || true); do
      tr '\0' '\n' < "/proc/$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$word_prefix" && echo "$p"
    done
    return 0
  }
  left=$(words_left)
  [ -z "$left" ] || { ps -o pid,args -p $left; echo "end-to-end: a Word outlived quire.exe" >&2; exit 1; }
else
  echo "end-to-end: the stand-in Word is not built (tests off), its check is skipped"
fi
echo "end-to-end: all checks passed"
