#!/usr/bin/env bash
# The main job on the bundled sample: builds the synthetic sample disk (a
# Hikvision recorder disk image with recordings of four cameras, some of
# which only a deep parse finds), parses it fast and deep, exports what was
# found and tells where the files are.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build -j"$(nproc)" --target orvane orvane-make-sample
orvane=build/orvane
out=sample
img=$out/hikvision-sample.img
mkdir -p "$out"
rm -rf "$out/export" "$out"/*.tak

echo "== building the sample disk"
build/tests/orvane-make-sample "$img"

echo
echo "== a second sample: a disk with a partition table and file systems"
bash scripts/sample_partitions.sh "$orvane" "$out"

echo
echo "== fast parse (the recorder's own index)"
"$orvane" parse "$img" --brand hikvision --mode fast --task "$out/fast.tak"
"$orvane" list "$out/fast.tak"

echo
echo "== deep parse (every byte of the disk)"
"$orvane" parse "$img" --brand hikvision --mode deep --task "$out/deep.tak"
"$orvane" list "$out/deep.tak"

echo
echo "== export"
"$orvane" export "$out/fast.tak" --source "$img" --out "$out/export/fast"
"$orvane" export "$out/deep.tak" --source "$img" --out "$out/export/deep"

echo
echo "== exported files"
find "$out/export" -name '*.dav' | sort | while read -r f; do
  info=""
  if command -v ffprobe > /dev/null; then
    info=$(ffprobe -v error -count_frames -select_streams v:0 \
      -show_entries stream=codec_name,nb_read_frames -of csv=p=0 "$f" 2>/dev/null || true)
    info="  [video: ${info/,/, } frames]"
  fi
  printf '%s  (%s bytes)%s\n' "$f" "$(stat -c %s "$f")" "$info"
done
echo
echo "== all in one: recover (brand recognised, fast parse, export)"
rm -rf "$out/case"
"$orvane" recover "$img" --out "$out/case"

echo
echo "fast parse: $("$orvane" list "$out/fast.tak" 2>/dev/null | tail -n +2 | wc -l) recordings;" \
  "deep parse: $("$orvane" list "$out/deep.tak" 2>/dev/null | tail -n +2 | wc -l) recordings"
echo "task files: $out/fast.tak $out/deep.tak; videos under $out/export/ and $out/case/"
