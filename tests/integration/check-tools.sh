#!/usr/bin/env bash
# check-tools.sh host|windows BUILD_DIR: kelvora-voice and kelvora-speak as a user runs them,
# with the demo voice: a token written, found and removed (alone and all at once), a sentence
# spoken into a WAV file, an SVG and a JSON timeline, and the errors of a missing library,
# voice or bad markup.
set -u
mode=$1
build_dir=$(cd "$2" && pwd)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$build_dir/tests/integration/tools-check
rm -rf "$work" && mkdir -p "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if [ "$mode" = windows ]; then
  source "$here/../../cmake/wine-env" "$build_dir"
  "$here/../../cmake/wine-prefix" start "$build_dir"
  run() { local tool=$1; shift; kelvora_wine "$build_dir/bin/$tool.exe" "$@"; }
  native() { wine_path "$1"; }
  run kelvora-voice remove "Test Stem" >/dev/null 2>&1
  "$KELVORA_WINE64" reg delete 'HKLM\Software\Kelvora\TTS' /f >/dev/null 2>&1
else
  export KELVORA_REGISTRY=$work/registry
  export ASAN_OPTIONS=detect_leaks=0
  run() { local tool=$1; shift; "$build_dir/bin/$tool" "$@"; }
  native() { echo "$1"; }
fi
expect_exit() {
  local expected=$1; shift
  "$@" >"$work/out" 2>"$work/err" </dev/null
  local status=$?
  [ "$status" -eq "$expected" ] ||
    fail "$* exited $status, not $expected; it wrote: $(cat "$work/out" "$work/err")"
}

expect_exit 0 run kelvora-voice add "Test Stem" --rate 16000 --gender Male
run kelvora-voice list | grep -q 'Kelvora_Test_0020Stem' || fail "list does not show the new voice"
expect_exit 69 run kelvora-speak --voice "Test Stem" "Hallo"
grep -q 'Software\\Kelvora\\TTS\\Path' "$work/err" || fail "no word of the Path value: $(cat "$work/err")"
expect_exit 0 run kelvora-voice set-library "$(native "$build_dir/demo")"
expect_exit 0 run kelvora-speak --voice "Test Stem" --json --out "$(native "$work/hallo.wav")" \
  --svg "$(native "$work/hallo.svg")" "Hallo wereld, dit is Kelvora."
grep -q '"event":"word".*"text":"wereld,"' "$work/out" || fail "no word boundary for 'wereld,'"
if [ -f "$work/hallo.wav" ]; then
  [ "$(head -c 4 "$work/hallo.wav")" = RIFF ] || fail "the WAV file has no RIFF header"
  [ "$(stat -c %s "$work/hallo.wav")" -gt 20000 ] || fail "the WAV file holds almost nothing"
else
  fail "no WAV file"
fi
grep -qs '<svg' "$work/hallo.svg" || fail "no SVG drawing"

# Arguments arrive as typed (on Windows from the wide command line), file names included.
expect_exit 0 run kelvora-speak --voice "Test Stem" --json --out "$(native "$work/één.wav")" \
  "één café Zoë"
for word in één café Zoë; do
  grep -q "\"text\":\"$word\"" "$work/out" || fail "the word $word did not arrive: $(cat "$work/out")"
done
[ -f "$work/één.wav" ] || fail "no WAV file under the name één.wav"
expect_exit 0 run kelvora-voice add "Zoë" --rate 16000
run kelvora-voice list | grep -q "	Zoë	" || fail "list does not show the voice Zoë"
expect_exit 0 run kelvora-voice remove "Zoë"
expect_exit 67 run kelvora-speak --voice "Nobody" "Hallo"
expect_exit 65 run kelvora-speak --xml --out "$(native "$work/x.wav")" 'Een <rate absspeed="3">twee'
grep -q 'line 1, column 5' "$work/err" || fail "the markup error names no position: $(cat "$work/err")"
# Entities keep the words where they stand; a tag outside the subset is a warning.
expect_exit 0 run kelvora-speak --voice "Test Stem" --xml --json --out "$(native "$work/x.wav")" \
  'Tom &amp; Jerry <b>lopen</b>'
grep -q '"text":"Jerry"' "$work/out" || fail "--xml with an entity misplaced the words: $(cat "$work/out")"
grep -q 'warning: line 1, column 17: <b> is not a tag' "$work/err" || fail "no warning of <b>: $(cat "$work/err")"
expect_exit 64 run kelvora-speak --no-such-option
expect_exit 64 run kelvora-speak --format-rate 22k "Hallo"
expect_exit 64 run kelvora-speak --format-rate 4294967296 "Hallo"
expect_exit 64 run kelvora-speak --sapi --server "$(native "$work/none.dll")" "Hallo"
[ "$mode" = host ] && expect_exit 64 run kelvora-speak --sapi "Hallo"
# Files as users have them: UTF-16 and UTF-8 with byte-order marks, a folder, a missing file.
printf '\xff\xfeH\x00o\x00i\x00 \x00a\x00l\x00l\x00e\x00n\x00' >"$work/utf16.txt"
printf '\xef\xbb\xbfDag allen' >"$work/utf8.txt"
for file in utf16.txt:Hoi utf8.txt:Dag; do
  expect_exit 0 run kelvora-speak --voice "Test Stem" --json --out "$(native "$work/f.wav")" \
    --file "$(native "$work/${file%%:*}")"
  grep -q "\"text\":\"${file##*:}\"" "$work/out" || fail "${file%%:*} was not read as text: $(cat "$work/out")"
done
# Standard input byte for byte: on Windows 0x1A must not end it.
printf 'Hoi\x1a allen' | run kelvora-speak --voice "Test Stem" --json --out "$(native "$work/s.wav")" \
  --file - >"$work/out" 2>"$work/err"
grep -q '"text":"allen"' "$work/out" || fail "standard input ended early: $(cat "$work/out" "$work/err")"
expect_exit 66 run kelvora-speak --voice "Test Stem" --file "$(native "$work")"
grep -q 'it is a folder' "$work/err" || fail "--file FOLDER: $(cat "$work/err")"
expect_exit 66 run kelvora-speak --voice "Test Stem" --file "$(native "$work/none.txt")"
expect_exit 64 run kelvora-speak --rate 22k "Hallo"
# Every token of this engine at once, as the uninstaller removes them.
expect_exit 0 run kelvora-voice add "Tweede"
expect_exit 0 run kelvora-voice remove --all
grep -q 'removed Kelvora_Test_0020Stem' "$work/out" && grep -q 'removed Kelvora_Tweede' "$work/out" ||
  fail "remove --all did not name both voices: $(cat "$work/out" "$work/err")"
expect_exit 0 run kelvora-voice list
[ -s "$work/out" ] && fail "voices left after remove --all: $(cat "$work/out")"
expect_exit 67 run kelvora-speak --voice "Test Stem" "Hallo"
if [ "$mode" = host ]; then
  # Ctrl-C while speaking a long text: what came is written, and the exit status is 130.
  yes "Hallo wereld, dit is een lange zin." | head -n 3000 >"$work/long.txt"
  "$build_dir/bin/kelvora-speak" --out "$work/long.wav" --file "$work/long.txt" \
    >/dev/null 2>"$work/err" </dev/null &
  speaking=$!
  sleep 1
  kill -INT $speaking
  wait $speaking
  status=$?
  [ $status -eq 130 ] || fail "Ctrl-C ended kelvora-speak with $status, not 130: $(cat "$work/err")"
  grep -q '(interrupted)' "$work/err" && [ -s "$work/long.wav" ] ||
    fail "Ctrl-C wrote no WAV file of what came: $(cat "$work/err")"
  # A registry file that is not one: each such line is named, the rest is read.
  printf 'not a registry line\n' >>"$KELVORA_REGISTRY"
  expect_exit 0 run kelvora-voice list
  grep -q "line [0-9]* of $KELVORA_REGISTRY is not a registry line" "$work/err" ||
    fail "a corrupt registry file went unnamed: $(cat "$work/err")"
fi
[ "$mode" = windows ] && "$KELVORA_WINE64" reg delete 'HKLM\Software\Kelvora\TTS' /f >/dev/null 2>&1

[ $failures -eq 0 ] && echo "kelvora-voice and kelvora-speak behave as documented"
exit $((failures > 0))
