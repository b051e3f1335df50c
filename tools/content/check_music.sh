#!/bin/sh
# Listen-free check of the encoded music: length, peak and RMS of each track, and of B and C
# mixed as they play together. Decodes the committed Ogg files, so it checks what ships.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
m=$here/../../resources/music
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for t in track_a track_b track_c; do oggdec -Q -o "$tmp/$t.wav" "$m/$t.ogg"; done
sox -m -v 1 "$tmp/track_b.wav" -v 1 "$tmp/track_c.wav" "$tmp/b_plus_c.wav"
printf '%-10s %9s %9s %9s %9s\n' track seconds peak_dB rms_dB bytes
for t in track_a track_b track_c b_plus_c; do
  sox "$tmp/$t.wav" -n stats 2>"$tmp/s" || true
  len=$(soxi -D "$tmp/$t.wav")
  pk=$(awk '/^Pk lev dB/ {print $4}' "$tmp/s")
  rms=$(awk '/^RMS lev dB/ {print $4}' "$tmp/s")
  size=$(if [ -f "$m/$t.ogg" ]; then stat -c %s "$m/$t.ogg"; else echo -; fi)
  printf '%-10s %9.2f %9s %9s %9s\n' "$t" "$len" "$pk" "$rms" "$size"
  clip=$(awk '/^Pk lev dB/ {print ($4 >= -0.1) ? "yes" : "no"}' "$tmp/s")
  [ "$clip" = no ] || { echo "$t clips" >&2; exit 1; }
done
