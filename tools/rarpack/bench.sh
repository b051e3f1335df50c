#!/bin/sh
# Compression figures of rarpack, with peers measured in the same run.
#
#   tools/rarpack/bench.sh [path/to/rarpack]      (default: build/release/bin/rarpack)
#
# 1. BoatModernEnglish.wav, taken with unar from the reference archive in tests/media/data:
#    our packed size with and without the audio mode, against the reference tool's 42,551 bytes
#    (no audio blocks) and 27,902 bytes (audio blocks).
# 2. A multi-megabyte corpus (the repository's tracked files plus the WAV): our archive (plain and
#    solid) against gzip -9 and xz -9 of a tar of the same files.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
rarpack=${1:-$root/build/release/bin/rarpack}
peer=$root/tests/media/data/BoatModernEnglish-regular-unpack20.rar
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

command -v unar >/dev/null || { echo "unar is needed (Debian package unar)"; exit 1; }
unar -q -f -o "$work/peer" "$peer" >/dev/null
wav=$(find "$work/peer" -name BoatModernEnglish.wav)
mkdir -p "$work/wav" && cp "$wav" "$work/wav/"

packed() {  # packed size of the entry named $2 in archive $1
    "$rarpack" list "$1" | awk -v n="$2" '$NF == n { print $3 }'
}
"$rarpack" create "$work/wav.rar" "$work/wav"
"$rarpack" create --no-audio "$work/wav_noaudio.rar" "$work/wav"
echo "BoatModernEnglish.wav ($(wc -c < "$wav") bytes)"
echo "  without audio blocks: rarpack $(packed "$work/wav_noaudio.rar" BoatModernEnglish.wav)   reference 42551"
echo "  with audio blocks:    rarpack $(packed "$work/wav.rar" BoatModernEnglish.wav)   reference 27902"

mkdir -p "$work/corpus"
(cd "$root" && git ls-files -z | xargs -0 cp --parents -t "$work/corpus")
cp "$wav" "$work/corpus/"
total=$(find "$work/corpus" -type f -exec cat {} + | wc -c)
(cd "$work/corpus" && find . -type f | LC_ALL=C sort | tar -cf "$work/corpus.tar" -T -)
start=$(date +%s.%N)
"$rarpack" create "$work/corpus.rar" "$work/corpus"
mid=$(date +%s.%N)
"$rarpack" create --solid "$work/corpus_solid.rar" "$work/corpus"
end=$(date +%s.%N)
gz=$(gzip -9 -c "$work/corpus.tar" | wc -c)
xz=$(xz -9 -c "$work/corpus.tar" | wc -c)
ratio() { awk -v a="$1" -v b="$total" 'BEGIN { printf "%.4f", a / b }'; }
echo "corpus: $(find "$work/corpus" -type f | wc -l) files, $total bytes"
echo "  rarpack         $(wc -c < "$work/corpus.rar") bytes  ratio $(ratio "$(wc -c < "$work/corpus.rar")")  $(awk -v a="$start" -v b="$mid" 'BEGIN { printf "%.1f s", b - a }')"
echo "  rarpack --solid $(wc -c < "$work/corpus_solid.rar") bytes  ratio $(ratio "$(wc -c < "$work/corpus_solid.rar")")  $(awk -v a="$mid" -v b="$end" 'BEGIN { printf "%.1f s", b - a }')"
echo "  gzip -9 (tar)   $gz bytes  ratio $(ratio "$gz")"
echo "  xz -9 (tar)     $xz bytes  ratio $(ratio "$xz")"
