# Shared set-up for end-to-end tests: a private virtual display, a fresh copy of
# the build tree's Wine prefix, and clean-up on every exit path.
# Source it from a bash test script; it needs WINE_TEMPLATE_PREFIX in the environment.
set -euo pipefail

E2E_WORK=$(mktemp -d "${TMPDIR:-/tmp}/installerwin-e2e.XXXXXX")
export WINEPREFIX="$E2E_WORK/prefix"
# comctl32=n,b: look for comctl32.dll beside the program first, as Windows's loader does.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;comctl32=n,b" WINELOADER=/usr/lib/wine/wine64
E2E_XVFB_PID=
E2E_MOUNTS=()  # file systems a test mounted; unmounted before its folder goes

e2e_cleanup() {
  local rc=$? m
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  /usr/lib/wine/wineserver -w 2>/dev/null || true
  for m in "${E2E_MOUNTS[@]}"; do umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true; done
  [ -n "$E2E_XVFB_PID" ] && kill "$E2E_XVFB_PID" 2>/dev/null && wait "$E2E_XVFB_PID" 2>/dev/null
  if [ $rc -ne 0 ] && [ -n "${E2E_KEEP_ON_FAILURE:-}" ]; then
    echo "e2e: kept $E2E_WORK" >&2
  else
    rm -rf "$E2E_WORK"
  fi
  exit $rc
}
trap e2e_cleanup EXIT
trap 'exit 130' INT TERM

fail() { echo "FAIL: $*" >&2; exit 1; }
note() { echo "e2e: $*" >&2; }

# Starts Xvfb on a free display and exports DISPLAY.
e2e_start_display() {
  local fd_file="$E2E_WORK/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$fd_file" >/dev/null 2>&1 &
  E2E_XVFB_PID=$!
  local i
  for i in $(seq 100); do
    [ -s "$fd_file" ] && break
    sleep 0.05
  done
  [ -s "$fd_file" ] || fail "Xvfb did not start"
  export DISPLAY=":$(head -n1 "$fd_file")"
  for i in $(seq 100); do
    xdpyinfo >/dev/null 2>&1 && return 0
    sleep 0.05
  done
  fail "display $DISPLAY not ready"
}

# Copies the template prefix and starts a lingering wineserver with detached output.
e2e_start_wine() {
  [ -f "$WINE_TEMPLATE_PREFIX/.complete" ] || fail "Wine template prefix $WINE_TEMPLATE_PREFIX is not complete"
  # -H: a template given as a link (a benchmark's BUILD_DIR) is copied, not
  # linked, so what a run writes into its prefix never reaches the template.
  cp -aH "$WINE_TEMPLATE_PREFIX" "$WINEPREFIX"
  /usr/lib/wine/wineserver -p10 </dev/null >/dev/null 2>&1
}

# Sets the screen's density to $1 pixels per inch for the programs started
# after it, where Wine reads it: the user's and the machine's LogPixels.
e2e_set_density() {
  local key
  for key in 'HKCU\Control Panel\Desktop' 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
    /usr/lib/wine/wine64 reg add "$key" /v LogPixels /t REG_DWORD /d "$1" /f </dev/null >/dev/null 2>&1 ||
      fail "could not set LogPixels under $key"
  done
}

# Runs a Windows program (a Unix or a Windows path) in the background, output
# to $E2E_WORK/NAME.log. Sets E2E_PID.
e2e_launch() {
  local log="$E2E_WORK/${1##*[/\\]}.log"
  /usr/lib/wine/wine64 "$@" </dev/null >"$log" 2>&1 &
  E2E_PID=$!
}

# Prints the ids of the visible windows titled exactly $1 that have an area.
# The program's own application window, titled like its error boxes, has none:
# X cannot map a window of no size, so Wine maps it as a single pixel.
e2e_windows() {
  local id
  for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
    xwininfo -id "$id" 2>/dev/null |
      awk '/^ *Width:/ {w = $2} /^ *Height:/ {h = $2} END {exit !(w > 1 || h > 1)}' && echo "$id"
  done
}

# Waits (up to $2 seconds, default 20) for a visible window whose title is exactly $1; prints its id.
e2e_wait_window() {
  local end=$((SECONDS + ${2:-20})) ids
  while :; do
    ids=$(e2e_windows "$1")
    [ -n "$ids" ] && { head -n1 <<<"$ids"; return 0; }
    [ $SECONDS -lt "$end" ] || return 1
    sleep 0.1
  done
}

# Waits until no visible window has the title $1 (up to $2 seconds).
e2e_wait_gone() {
  local end=$((SECONDS + ${2:-20}))
  while [ -n "$(e2e_windows "$1")" ]; do
    [ $SECONDS -lt "$end" ] || return 1
    sleep 0.1
  done
}

# Prints the "R G B" of the screen pixel at X Y.
e2e_pixel() {
  import -window root -crop "1x1+$1+$2" -depth 8 rgb:- 2>/dev/null | od -An -tu1 | xargs
}

# Waits for process $1 to end (up to $2 seconds); returns its exit code, or 124.
e2e_wait_exit() {
  local end=$((SECONDS + ${2:-20}))
  while kill -0 "$1" 2>/dev/null; do
    [ $SECONDS -lt "$end" ] || return 124
    sleep 0.1
  done
  wait "$1"
}
