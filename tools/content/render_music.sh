#!/bin/sh
# Composes the three music tracks, renders them with FluidSynth and encodes them as Ogg Vorbis.
# Scratch files (MIDI, WAV) go to tools/content/work/, which git ignores.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$here/work/music
out=$here/../../resources/music
sf=${SOUNDFONT:-/usr/share/sounds/sf2/FluidR3_GM.sf2}
mkdir -p "$work" "$out"
python3 "$here/compose.py" "$work"

bar=$(python3 -c 'print(4*60/84)')
render() {  # name bars
  fluidsynth -ni -q -F "$work/$1.raw.wav" -r 44100 -g 0.4 -o audio.file.format=float \
    -o synth.reverb.active=1 -o synth.reverb.room-size=0.85 -o synth.reverb.damp=0.3 \
    -o synth.reverb.width=0.9 -o synth.reverb.level=0.7 -o synth.chorus.active=0 \
    "$sf" "$work/$1.mid"
  len=$(python3 -c "print(round($2*$bar, 4))")
  # Cut exactly at the bar line so the next track's downbeat follows on the beat; a short fade
  # only keeps the cut click-free.
  sox "$work/$1.raw.wav" -e floating-point -b 32 "$work/$1.cut.wav" trim 0 "$len" fade t 0.01 "$len" 0.25
}
render track_a 32
render track_b 14
render track_c 26

# Levels: A alone peaks at -1.5 dBFS; B and C get one common gain so that they peak at -1.5 dBFS
# when mixed, as they play together.
peak() { sox "$1" -n stat 2>&1 | awk '/Maximum amplitude/ {mx=$3} /Minimum amplitude/ {mn=-$3} END {print (mx>mn?mx:mn)}'; }
sox -m -v 1 "$work/track_b.cut.wav" -v 1 "$work/track_c.cut.wav" -e floating-point -b 32 "$work/bc.wav"
ga=$(python3 -c "print(0.84/$(peak "$work/track_a.cut.wav"))")
gbc=$(python3 -c "print(0.84/$(peak "$work/bc.wav"))")
sox -v "$ga" "$work/track_a.cut.wav" -b 16 "$work/track_a.wav"
sox -v "$gbc" "$work/track_b.cut.wav" -b 16 "$work/track_b.wav"
sox -v "$gbc" "$work/track_c.cut.wav" -b 16 "$work/track_c.wav"
for t in track_a track_b track_c; do
  oggenc -Q -q 2 --resample 44100 -o "$out/$t.ogg" "$work/$t.wav"
done
"$here/check_music.sh"
