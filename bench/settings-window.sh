#!/usr/bin/env bash
# Opens and closes the settings window N times (default 10) through `torvel settings` on a private X
# server and session bus, against the simulated machine, and prints for each time how long the window
# took to map (MapNotify, event-driven), then the resident's RSS before and after and the Torvel
# processes left. Build first (the torvel and torvel_window_map_time targets).
# Usage: bench/settings-window.sh [--build DIR] [--cycles N]
set -euo pipefail
build=build
cycles=10
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --cycles) cycles=$2; shift 2 ;;
    *) echo "usage: $0 [--build DIR] [--cycles N]" >&2; exit 2 ;;
  esac
done
torvel=$(realpath "$build/bin/torvel")
mapper=$(realpath "$build/bin/torvel_window_map_time")
work=$(mktemp -d)
display=:$((200 + RANDOM % 100))
cleanup() {
  [ -n "${resident:-}" ] && kill "$resident" 2>/dev/null || true
  [ -n "${bus:-}" ] && kill "$bus" 2>/dev/null || true
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
read -r address bus < <(dbus-daemon --session --fork --print-address=1 --print-pid=1 | paste -s -d' ')
export DBUS_SESSION_BUS_ADDRESS=$address
"$torvel" --platform sim >"$work/torvel.log" 2>&1 & resident=$!
for _ in $(seq 100); do "$torvel" status >/dev/null 2>&1 && break; sleep 0.1; done
sleep 2  # settle: the first-start work is over
rss() { awk '/^VmRSS/ {print $2}' "/proc/$resident/status"; }
before=$(rss)
times=()
for i in $(seq "$cycles"); do
  read -r seconds window < <("$mapper" "Torvel settings" -- "$torvel" settings)
  times+=("$seconds")
  sleep 0.5
  xdotool windowfocus --sync "$window" key Escape
  for _ in $(seq 50); do xdotool search --name '^Torvel settings$' >/dev/null 2>&1 || break; sleep 0.1; done
  echo "cycle $i: mapped after ${seconds} s"
done
sleep 2
after=$(rss)
median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}')
echo "median map time: ${median} s over $cycles cycles"
echo "resident RSS: before $((before / 1024)).$(( (before % 1024) * 10 / 1024 )) MiB, after $((after / 1024)).$(( (after % 1024) * 10 / 1024 )) MiB, growth $(( after - before )) KiB"
left=0
for p in $(pgrep -x 'torvel|torvel-windows' || true); do
  [ "$p" != "$resident" ] && grep -qzx "DISPLAY=$display" "/proc/$p/environ" 2>/dev/null && left=$((left + 1))
done
echo "Torvel processes left besides the resident: $left"
