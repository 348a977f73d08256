#!/usr/bin/env bash
# The main job: installs what is missing, builds, starts the bundled local
# patent site and runs TRAVO against it.
#   With a display ($DISPLAY set): the desktop application `travo`.
#   Without one: `travo-search` with a sample search command (or the words
#   given to this script), printing the worker's messages.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build -j"$(nproc)" --target patent-site travo-search $( [ -n "${DISPLAY:-}" ] && echo travo )

PORT=${TRAVO_SITE_PORT:-8631}
./build/bin/patent-site --port "$PORT" > build/patent-site.log 2>&1 &
SITE_PID=$!
trap 'kill $SITE_PID 2>/dev/null || true' EXIT
# A site that never listens (the port is taken, the program fails) stops the
# job here, with the site's own output, instead of a search against nothing.
if ! SITE=$(travo_wait_listening 60 "$SITE_PID" build/patent-site.log); then
  echo "main-job: the local patent site did not start on port $PORT (output above)" >&2
  exit 1
fi
echo "local patent site: $SITE"

if [ -n "${DISPLAY:-}" ] && [ -x build/bin/travo ]; then
  ./build/bin/travo --site "$SITE"
else
  if [ $# -eq 0 ]; then set -- 石墨烯; fi
  ./build/bin/travo-search --site "$SITE" "$@"
  echo "search list: $(travo_search_list "${CORVANA_ROOT:-$HOME/corvana}")"
fi
