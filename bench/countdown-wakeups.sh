#!/usr/bin/env bash
# Wake-ups of the resident during a long countdown: starts `torvel --platform sim` (add --headless, or
# run under a display with a tray host) on a private session bus, starts a 2-hour countdown, lets it
# settle and counts for 60 s the returns of the main thread's poll (each is a wake-up) with strace,
# printing them grouped by second, so a timer's wake-up and the bus traffic it causes are told apart.
# Build first (the torvel target); needs strace.
# Usage: bench/countdown-wakeups.sh [--build DIR] [-- TORVEL_ARGS...]
set -euo pipefail
build=build
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "usage: $0 [--build DIR] [-- TORVEL_ARGS...]" >&2; exit 2 ;;
  esac
done
torvel=$(realpath "$build/bin/torvel")
work=$(mktemp -d)
cleanup() {
  [ -n "${resident:-}" ] && kill "$resident" 2>/dev/null || true
  [ -n "${bus:-}" ] && kill "$bus" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export HOME=$work XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
read -r address bus < <(dbus-daemon --session --fork --print-address=1 --print-pid=1 | paste -s -d' ')
export DBUS_SESSION_BUS_ADDRESS=$address
"$torvel" --platform sim "$@" >"$work/torvel.log" 2>&1 & resident=$!
for _ in $(seq 100); do "$torvel" status >/dev/null 2>&1 && break; sleep 0.1; done
"$torvel" activate --duration 7200 >/dev/null
sleep 5
timeout 60 strace -tt -e trace=poll,ppoll -p "$resident" -o "$work/strace.txt" 2>/dev/null || true
returns=$(grep -c ' = [0-9]' "$work/strace.txt" || true)
seconds=$(grep ' = [0-9]' "$work/strace.txt" | cut -c1-8 | sort -u | wc -l)
echo "main-thread wake-ups in 60 s: $returns, in $seconds distinct seconds:"
grep ' = [0-9]' "$work/strace.txt" | cut -c1-8 | uniq -c
