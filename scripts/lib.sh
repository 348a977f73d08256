# Shared by TRAVO's scripts (source it; it sets no shell options of its own).

# The search list's place below "C:/corvana/", the folder that stands for it
# being given: $CORVANA_ROOT (default $HOME/corvana) on Linux, a Wine
# prefix's drive_c/corvana under Wine.
TRAVO_SEARCH_LIST_RELATIVE="TRAVO專利檢索軟體/專利檢索列表.xlsx"
travo_search_list() { printf '%s/%s\n' "${1%/}" "$TRAVO_SEARCH_LIST_RELATIVE"; }

# Installs the Debian packages named that are not installed yet; refreshes
# apt's lists first when something is missing or when --update is given.
# Other jobs may hold apt's lock at the same moment: apt waits for it (up to
# 10 minutes) instead of failing.
travo_install_packages() {
  local update=0
  if [ "${1:-}" = --update ]; then update=1; shift; fi
  local missing=() p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  ((update || ${#missing[@]})) || return 0
  local apt=(apt-get -o DPkg::Lock::Timeout=600 -qq)
  if [ "$(id -u)" -ne 0 ]; then apt=(sudo "${apt[@]}"); fi
  DEBIAN_FRONTEND=noninteractive "${apt[@]}" update
  if ((${#missing[@]})); then
    DEBIAN_FRONTEND=noninteractive "${apt[@]}" install -y --no-install-recommends "${missing[@]}"
  fi
}

# travo_wait_for SECONDS COMMAND [ARGS...]: runs the command every 0.2 s
# until it succeeds (status 0) or SECONDS have passed (status 1).
travo_wait_for() {
  local deadline=$((SECONDS + $1 + 1))  # SECONDS counts whole seconds
  shift
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.2
  done
}

# The address a starting program announces in its output file with a line
# "... listening on http://HOST:PORT", waited for up to SECONDS while the
# program (PID) runs. Prints the address; fails, with the program's output
# on standard error, when the program ends or the time passes first.
#   travo_wait_listening SECONDS PID FILE
travo_wait_listening() {
  local seconds=$1 pid=$2 file=$3
  local deadline=$((SECONDS + seconds + 1)) address
  while :; do
    address=$(tr -d '\r' < "$file" 2>/dev/null | sed -n 's/.*listening on \(http[^ ]*\).*/\1/p' | head -n1)
    if [ -n "$address" ]; then printf '%s\n' "$address"; return 0; fi
    if ! kill -0 "$pid" 2>/dev/null; then
      cat "$file" >&2 2>/dev/null || true
      echo "the program (pid $pid) ended before it listened" >&2
      return 1
    fi
    if ((SECONDS >= deadline)); then
      cat "$file" >&2 2>/dev/null || true
      echo "the program (pid $pid) did not listen within $seconds s" >&2
      return 1
    fi
    sleep 0.2
  done
}

# Wine from Debian's packages: WINE64 (the 64-bit loader) and WINESERVER
# (wineserver64 where the package has one, else wineserver).
travo_find_wine() {
  WINE64=/usr/lib/wine/wine64
  WINESERVER=/usr/lib/wine/wineserver64
  [ -x "$WINESERVER" ] || WINESERVER=/usr/lib/wine/wineserver
}
