#!/usr/bin/env bash
# Makes Torvel's own three sounds with sox, as 16-bit mono WAV at 22050 Hz, into resources/sounds/.
# The files are committed; run this again only to change them (the output is deterministic).
# Usage: tools/make-sounds.sh [OUTPUT_DIR]
set -euo pipefail
out=${1:-"$(dirname "$0")/../resources/sounds"}
command -v sox >/dev/null || { echo "make-sounds: sox is not installed (./scripts/setup installs it)" >&2; exit 1; }
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fmt=(-r 22050 -c 1 -b 16 -e signed-integer)
# No dither: the same input makes the same bytes, so a regenerated file does not show as changed.
sx() { sox -D --no-clobber -V1 "$@"; }

# Submarine: a soft, low sonar ping. A short attack, then a long exponential-like decay of a sine with
# a quieter octave above for body. The lid has just closed: it should be heard, not startle.
sx -n "${fmt[@]}" "$tmp/sub.wav" synth 0.6 sine 560 sine 1120 remix 1v0.8,2v0.2 \
  fade l 0.008 0.6 0.58 gain -n -6

# Pop: a very short, soft pip that falls in pitch; repeated every half minute while the lid is closed,
# so it has to be unobtrusive.
sx -n "${fmt[@]}" "$tmp/pop.wav" synth 0.1 sine 1100-420 fade q 0.003 0.1 0.08 gain -n -9

# Sosumi: the emergency alarm, two bright tones played in a loop until stopped. Each tone fades in and
# out over 5 ms and the clip ends in silence, so the loop joins without a click.
sx -n "${fmt[@]}" "$tmp/hi.wav" synth 0.21 triangle 1320 fade t 0.005 0.21 0.005 pad 0 0.04
sx -n "${fmt[@]}" "$tmp/lo.wav" synth 0.21 triangle 990 fade t 0.005 0.21 0.005 pad 0 0.04
sx "$tmp/hi.wav" "$tmp/lo.wav" "$tmp/alarm.wav" gain -n -3

# Plain PCM with a canonical header (sox writes no extra chunks for these).
for pair in sub:Submarine pop:Pop alarm:Sosumi; do
  rm -f "$out/${pair#*:}.wav"
  sx "$tmp/${pair%%:*}.wav" "${fmt[@]}" "$out/${pair#*:}.wav"
done
ls -l "$out"
