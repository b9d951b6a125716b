#!/bin/bash
# Runs inside the Debian 13 root (cmake/sapi-root run), in a copy of the stage with a fresh
# Wine 10 prefix: installs the engine as a user does (regsvr32, the demo voice as the speech
# engine library, two voices), then drives it through Wine's SAPI runtime: kelvora-speak
# --sapi against kelvora-speak's own Speak, and the SAPI client test program.
set -u
# The Wine environment of this folder: a fresh prefix in it, wine_path, kelvora_wine.
source ./wine-env "$PWD"
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# The Windows name of a file in this folder.
native() { wine_path "$PWD/$1"; }
# expect STATUS COMMAND...: runs a Windows program; its output is in out and err.
expect() {
  local expected=$1
  shift
  kelvora_wine "$@" >out 2>err </dev/null
  local status=$?
  [ "$status" -eq "$expected" ] ||
    fail "$* exited $status, not $expected; it wrote: $(cat out err)"
}

"$KELVORA_WINE64" wineboot -i </dev/null >/dev/null 2>&1
expect 0 regsvr32 bin/KelvoraSAPI5.dll
expect 0 bin/kelvora-voice.exe set-library "$(native demo)"
expect 0 bin/kelvora-voice.exe add Anna --rate 22050 --gender Female
expect 0 bin/kelvora-voice.exe add Bram --rate 16000 --gender Male

# The sentence of SapiRuntimeTest.cpp.
sentence="Hallo wereld, dit is een test."
expect 0 bin/kelvora-speak.exe --voice Anna --out "$(native direct.wav)" "$sentence"
expect 0 bin/kelvora-speak.exe --sapi --voice Anna --out "$(native sapi.wav)" \
  --svg "$(native sapi.svg)" "$sentence"
cmp -s direct.wav sapi.wav || fail "kelvora-speak --sapi wrote other audio than kelvora-speak"
grep -q 'delivered no events' err || fail "kelvora-speak --sapi did not say that no events came: $(cat err)"
grep -qs '<svg' sapi.svg || fail "kelvora-speak --sapi drew nothing"
expect 0 bin/kelvora-speak.exe --sapi --voice Bram --format-rate 8000 --out "$(native bram.wav)" \
  "$sentence"
grep -q 'at 8000 Hz' err || fail "kelvora-speak --sapi --format-rate 8000: $(cat err)"
# Wine 10's SpVoice has no XML parser: the tool says what SAPI answered.
expect 70 bin/kelvora-speak.exe --sapi --xml --voice Anna '<bookmark mark="1"/>Hallo'
grep -q 'ISpVoice::Speak failed: not implemented (E_NOTIMPL)' err || fail "--sapi --xml: $(cat err)"
expect 67 bin/kelvora-speak.exe --sapi --voice Nobody "$sentence"
grep -q "no voice \"Nobody\" in SAPI's voice category" err || fail "no word of the missing voice: $(cat err)"

KELVORA_INTEROP_EXPECTED_WAV=$(native direct.wav) kelvora_wine bin/kelvora_sapi_runtime_tests.exe \
  </dev/null || fail "the SAPI client test program failed"

[ $failures -eq 0 ] && echo "the engine speaks through Wine 10's SAPI runtime as documented"
exit $((failures > 0))
