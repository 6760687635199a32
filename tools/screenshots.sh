#!/usr/bin/env bash
# Runs the program on a virtual X display and saves PNG pictures of the opening splash, the
# main window and the help window (first page and the CSV layout page), to look at the layout.
#   tools/screenshots.sh [program] [output directory]
# Defaults: build/app/bin/ostrelpeststandard and /tmp/ostrel-screenshots.
set -euo pipefail
cd "$(dirname "$0")/.."
PROGRAM=${1:-${BUILD_DIR:-build}/app/bin/ostrelpeststandard}
OUT=${2:-/tmp/ostrel-screenshots}
[ -x "$PROGRAM" ] || { echo "No program at $PROGRAM; build it first." >&2; exit 1; }
mkdir -p "$OUT"

# The tools: a virtual display, a screen grabber, a keyboard driver, window look-up.
need=()
command -v Xvfb >/dev/null || need+=(xvfb)
command -v xauth >/dev/null || need+=(xauth)
command -v import >/dev/null || need+=(imagemagick)
command -v xdotool >/dev/null || need+=(xdotool)
command -v xwininfo >/dev/null || need+=(x11-utils)
if [ ${#need[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

DISPLAY_NO=${SCREENSHOT_DISPLAY:-97}
Xvfb ":$DISPLAY_NO" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
XVFB_PID=$!
PROGRAM_PID=""
cleanup() {
  [ -n "$PROGRAM_PID" ] && kill "$PROGRAM_PID" 2>/dev/null || true
  kill "$XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=":$DISPLAY_NO"
export QT_QPA_PLATFORM=xcb
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done 2>/dev/null || sleep 2

window() { xdotool search --sync --onlyvisible --name "$1" | head -1; }
shot() { sleep 1; import -window "$1" "$OUT/$2"; echo "$OUT/$2"; }
keys() { xdotool windowfocus --sync "$1"; sleep 0.3; shift; xdotool key --delay 150 "$@"; }

"$PROGRAM" >/dev/null 2>&1 &
PROGRAM_PID=$!

SPLASH=$(window "DOVORUR Dedi Dazadiravo Standard")
MAIN=$(window "DOVORUR Dizu Rividuri - Pre-Release Version")
shot "$SPLASH" splash.png
import -window root "$OUT/start-screen.png"; echo "$OUT/start-screen.png"
keys "$SPLASH" alt+c
xdotool windowfocus --sync "$MAIN"
shot "$MAIN" main.png

keys "$MAIN" alt+h h
HELP=$(window "Dovorur Pest Standard Help")
shot "$HELP" help.png
keys "$HELP" ctrl+Tab ctrl+Tab ctrl+Tab
shot "$HELP" help-csv.png
keys "$HELP" alt+c
