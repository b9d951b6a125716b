#!/usr/bin/env bash
# The main job in one command: builds the Windows DLL if needed and speaks a Dutch sentence
# (a default one, or TEXT) through the real KelvoraSAPI5.dll under Wine, with the demo voice
# (a stand-in, not the real speech engine library). Writes demo.wav, timeline.txt and
# demo.svg into the folder it names at the end.
# Usage: ./speak-demo.sh [TEXT]        (run as root on a fresh Debian 12 machine)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
root=$(pwd)

source cmake/ensure-packages
ensure_packages cmake make g++ googletest g++-mingw-w64-x86-64 mingw-w64-tools wine wine64 faketime

build=$root/build/windows
if [ ! -f "$build/bin/kelvora-speak.exe" ] || [ ! -f "$build/bin/KelvoraSAPI5.dll" ]; then
  echo "== building the Windows build (once)"
  cmake --preset windows >/dev/null
  cmake --build --preset windows -j "$(nproc)" --target kelvora-speak kelvora-voice >/dev/null
fi

out=$root/demo-output
mkdir -p "$out"
source cmake/wine-env "$build"
cmake/wine-prefix start "$build"
trap 'cmake/wine-prefix stop "$build"' EXIT
wine_tool() { local tool=$1; shift; kelvora_wine "$build/bin/$tool.exe" "$@"; }

echo "== installing the demo voice in the Wine prefix"
wine_tool kelvora-voice set-library "$(wine_path "$build/demo")"
wine_tool kelvora-voice add Demo --rate 22050 --vendor "Kelvora (demo voice)"

echo "== speaking"
speak_options=(--voice Demo --out "$(wine_path "$out/demo.wav")" --svg "$(wine_path "$out/demo.svg")")
if [ $# -gt 0 ]; then
  wine_tool kelvora-speak "${speak_options[@]}" "$*" >"$out/timeline.txt"
else
  wine_tool kelvora-speak "${speak_options[@]}" --xml \
    'Hallo, dit is <bookmark mark="1"/>de demostem van Kelvora. <silence msec="400"/><rate absspeed="4">Nu spreek ik sneller,</rate> <pitch absmiddle="6">en nu hoger.</pitch> <spell>TTS</spell>' \
    >"$out/timeline.txt"
fi
grep -v ' viseme ' "$out/timeline.txt" || true
echo
echo "Written to $out: demo.wav, timeline.txt, demo.svg"
player=
for candidate in aplay paplay play ffplay mpv; do
  command -v "$candidate" >/dev/null && { player=$candidate; break; }
done
if [ -n "$player" ]; then
  echo "Play it with: $player $out/demo.wav"
else
  echo "Play it with: apt-get install alsa-utils, then: aplay $out/demo.wav"
fi
