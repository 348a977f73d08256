#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time.
#   fuzz/run.sh [SECONDS_PER_TARGET] [TARGET...]
# Findings (crash-*, leak-*, timeout-*) land in build-fuzz/findings/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_PER_TARGET=${1:-60}
shift || true
BUILD=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$BUILD" -DTRAVO_FUZZ=ON -DTRAVO_BUILD_TESTS=OFF \
  -DTRAVO_BUILD_GUI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(get_data_fuzzer page_query_fuzzer form_post_fuzzer docx_fuzzer
           execute_set_fuzzer show_execute_set_fuzzer quire_job_fuzzer)
fi
cmake --build "$BUILD" -j"$(nproc)" --target "${targets[@]}" > /dev/null
for t in "${targets[@]}"; do
  case $t in
    get_data_fuzzer) seeds=fuzz/harrow/corpus_get_data ;;
    page_query_fuzzer) seeds=fuzz/harrow/corpus_page_query ;;
    form_post_fuzzer) seeds=fuzz/harrow/corpus_form_post ;;
    docx_fuzzer) seeds=fuzz/docx/corpus ;;
    *) seeds=fuzz/quire/corpus_${t%_fuzzer} ;;
  esac
  work="$BUILD/corpus/$t"
  findings="$BUILD/findings/$t"
  mkdir -p "$work" "$findings"
  echo "== $t (${SECONDS_PER_TARGET}s)"
  "$BUILD/fuzz/$t" -max_total_time="$SECONDS_PER_TARGET" -rss_limit_mb=2048 -timeout=20 \
    -artifact_prefix="$findings/" -print_final_stats=1 "$work" "$seeds" 2>&1 |
    grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|==.*ERROR|SUMMARY|Done)" || true
done
