#!/usr/bin/env bash
# check-installer.sh BUILD_DIR VERSION: the installer package as an administrator deploys it,
# in fresh Wine prefixes: a silent install with the demo voice and a voice, the installed
# tools speaking through the installed DLL, the COM class as regsvr32 writes it, an upgrade
# that keeps every voice, a repair, an uninstall that leaves nothing of ours (the Path value
# only where the installer wrote it), a bad property refused and a failed install undone.
set -u
build_dir=$(cd "$1" && pwd)
version=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$here/../..
work=$build_dir/tests/installer/work
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

msi=$build_dir/packages/KelvoraSAPI5-$version-x64.msi
[ -f "$msi" ] || { echo "FAIL: no installer package $msi"; exit 1; }

for prefix in installs regsvr32; do
  [ -d "$work/$prefix" ] && "$root/cmake/wine-prefix" stop "$work/$prefix"
done
rm -rf "$work" && mkdir -p "$work/installs" "$work/regsvr32"
trap '"$root/cmake/wine-prefix" stop "$work/installs"; "$root/cmake/wine-prefix" stop "$work/regsvr32"' EXIT

# A test build of a higher version: the same files.
IFS=. read -r major minor patch tweak <<<"$version"
higher=$major.$minor.$((patch + 1)).$tweak
cmake -DVERSION="$higher" -DBIN_DIR="$build_dir/bin" -DREADME="$build_dir/installer/README.txt" \
  -DOUTPUT="$work/KelvoraSAPI5-$higher-x64.msi" -DWORK_DIR="$work/higher" \
  -P "$root/installer/MakeMsi.cmake" >/dev/null || exit 1

# A prefix of its own per name, with its own wineserver.
use_prefix() {
  source "$root/cmake/wine-env" "$work/$1"
  "$root/cmake/wine-prefix" start "$work/$1"
}
# Wine's reg writes its errors to standard output: a key that is not there gives nothing.
reg_query() {
  local out
  out=$("$KELVORA_WINE64" reg query "$@" 2>/dev/null) && printf '%s\n' "$out" | tr -d '\r'
}
reg_value() { reg_query "$1" /v "$2" | sed -n "s/^ *$2 *REG_SZ *//p"; }
msiexec() { "$KELVORA_WINE64" msiexec "$@" >"$work/out" 2>&1; }

classes='HKLM\Software\Classes'
clsid_key="$classes\\CLSID\\{2A76E30B-904F-48ED-A628-CDB91C7B5D1A}"
progid_key="$classes\\KelvoraSAPI5.KelvoraSAPI5Engine"
tokens='HKLM\SOFTWARE\Microsoft\Speech\Voices\Tokens'
library_key='HKLM\Software\Kelvora\TTS'
product_name='SAPI5 interface for Kelvora TTS (64-bit)'
installed=/drive_c/"Program Files"/Kelvora/SAPI5
installed_windows='C:\Program Files\Kelvora\SAPI5'

class_keys() { reg_query "$clsid_key" /s; reg_query "$progid_key" /s; }
our_tokens() {
  reg_query "$tokens" /s | grep -c '^ *CLSID *REG_SZ *{2A76E30B-904F-48ED-A628-CDB91C7B5D1A}$'
}
# The DisplayVersion of every registered product of this name, a line each.
registered_versions() {
  reg_query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s |
    awk -v name="$product_name" '
      /^HKEY/ { if (ours) print version; ours = 0; version = "" }
      $1 == "DisplayName" { sub(/^ *DisplayName +REG_SZ +/, ""); ours = ($0 == name) }
      $1 == "DisplayVersion" { sub(/^ *DisplayVersion +REG_SZ +/, ""); version = $0 }
      END { if (ours) print version }'
}
voice_tool() { "$KELVORA_WINE64" "$installed_windows\\kelvora-voice.exe" "$@" 2>&1 | tr -d '\r'; }
expect_nothing_installed() {
  local when=$1
  [ -e "$WINEPREFIX/drive_c/Program Files/Kelvora" ] && fail "$when: C:\\Program Files\\Kelvora is left"
  [ -n "$(class_keys)" ] && fail "$when: class keys are left: $(class_keys)"
  [ "$(our_tokens)" -eq 0 ] || fail "$when: voice tokens of this engine are left"
  [ -z "$(registered_versions)" ] || fail "$when: the product is still registered"
  [ -n "$(reg_query 'HKLM\Software\Kelvora\SAPI5')" ] && fail "$when: HKLM\\Software\\Kelvora\\SAPI5 is left"
}

use_prefix installs
demo=$(wine_path "$build_dir/demo")
msiexec /i "$(wine_path "$msi")" /qn KELVORA_PATH="$demo" VOICE=Demo ||
  fail "the silent install exited $?: $(cat "$work/out")"
for file in KelvoraSAPI5.dll kelvora-voice.exe kelvora-speak.exe README.txt; do
  [ -f "$WINEPREFIX$installed/$file" ] || fail "the install left out $file"
done
[ "$(reg_value "$library_key" Path)" = "$demo" ] || fail "Path is not the demo voice's: $(reg_query "$library_key")"
"$KELVORA_WINE64" "$installed_windows\\kelvora-speak.exe" --voice Demo --json \
  --out 'C:\hallo.wav' "Hallo wereld" >"$work/speak.json" 2>"$work/out" ||
  fail "the installed kelvora-speak did not speak: $(cat "$work/out")"
grep -q '"wereld"' "$work/speak.json" && [ -s "$WINEPREFIX/drive_c/hallo.wav" ] ||
  fail "the installed kelvora-speak gave no words or no audio: $(cat "$work/speak.json" "$work/out")"
class_keys >"$work/installed-class.txt"
voice_tool list | grep -q "^Kelvora_Demo	Demo	22050 Hz" || fail "no Demo voice after the install: $(voice_tool list)"

# The same file registered by regsvr32 in a second prefix writes the same keys and values.
(
  use_prefix regsvr32
  mkdir -p "$WINEPREFIX$installed"
  cp "$build_dir/bin/KelvoraSAPI5.dll" "$WINEPREFIX$installed/"
  "$KELVORA_WINE64" regsvr32 /s "$installed_windows\\KelvoraSAPI5.dll" >/dev/null 2>&1
  class_keys >"$work/regsvr32-class.txt"
)
[ -s "$work/installed-class.txt" ] && cmp -s "$work/installed-class.txt" "$work/regsvr32-class.txt" ||
  fail "the installed class keys differ from regsvr32's: $(diff "$work/installed-class.txt" "$work/regsvr32-class.txt")"
grep -q 'InprocServer32' "$work/installed-class.txt" || fail "no InprocServer32 key: $(cat "$work/installed-class.txt")"

# A voice added later, and another engine's token.
voice_tool add Bram --rate 16000 --gender Male >/dev/null
"$KELVORA_WINE64" reg add "$tokens\\Other_Voice" /ve /d Other /f >/dev/null 2>&1
"$KELVORA_WINE64" reg add "$tokens\\Other_Voice" /v CLSID /d '{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}' /f >/dev/null 2>&1

msiexec /i "$(wine_path "$work/KelvoraSAPI5-$higher-x64.msi")" /qn ||
  fail "the upgrade to $higher exited $?: $(cat "$work/out")"
[ "$(voice_tool list | cut -f1 | tr '\n' ' ')" = "Kelvora_Bram Kelvora_Demo " ] ||
  fail "the upgrade did not keep both voices: $(voice_tool list)"
[ "$(registered_versions)" = "$higher" ] ||
  fail "registered after the upgrade: \"$(registered_versions)\", not $higher alone"
[ "$(reg_value "$library_key" Path)" = "$demo" ] || fail "the upgrade lost Path: $(reg_query "$library_key")"
msiexec /i "$(wine_path "$msi")" /qn && fail "the older package installed over the newer one"
[ "$(registered_versions)" = "$higher" ] || fail "the older package changed what is registered: $(registered_versions)"

# Installing the installed version again repairs it.
rm "$WINEPREFIX$installed/kelvora-speak.exe"
"$KELVORA_WINE64" reg delete "$clsid_key\\InprocServer32" /v ThreadingModel /f >/dev/null 2>&1
msiexec /i "$(wine_path "$work/KelvoraSAPI5-$higher-x64.msi")" /qn || fail "the repair exited $?: $(cat "$work/out")"
[ -f "$WINEPREFIX$installed/kelvora-speak.exe" ] || fail "the repair did not bring back kelvora-speak.exe"
cmp -s <(class_keys) "$work/installed-class.txt" || fail "the repair did not restore the class keys: $(class_keys)"

msiexec /x "$(wine_path "$work/KelvoraSAPI5-$higher-x64.msi")" /qn ||
  fail "the silent uninstall exited $?: $(cat "$work/out")"
expect_nothing_installed "after the uninstall"
[ -n "$(reg_query "$library_key")" ] && fail "the uninstall left the Path the installer wrote"
[ -n "$(reg_query "$tokens\\Other_Voice" /ve | grep 'REG_SZ *Other$')" ] ||
  fail "another engine's token went with the uninstall"

# A bad property is refused before anything changes.
msiexec /i "$(wine_path "$msi")" /qn VOICE=Demo VOICE_RATE=fast &&
  fail "an install with VOICE_RATE=fast reported success"
expect_nothing_installed "after VOICE_RATE=fast"

# A failure in the installation's last action, after the files, the class and Path are in
# place: the voice's token key is another engine's. Everything is undone; that token stays.
"$KELVORA_WINE64" reg add "$tokens\\Kelvora_Demo" /ve /d Someone /f >/dev/null 2>&1
msiexec /i "$(wine_path "$msi")" /qn KELVORA_PATH="$demo" VOICE=Demo &&
  fail "an install whose voice could not be written reported success"
expect_nothing_installed "after the failed install"
[ -n "$(reg_query "$library_key")" ] && fail "the failed install left Path: $(reg_query "$library_key")"
[ -n "$(reg_query "$tokens\\Kelvora_Demo" /ve | grep 'REG_SZ *Someone$')" ] ||
  fail "the failed install took the other engine's token"
"$KELVORA_WINE64" reg delete "$tokens\\Kelvora_Demo" /f >/dev/null 2>&1

# A Path the installer did not write stays.
"$KELVORA_WINE64" reg add "$library_key" /v Path /d 'C:\Elders' /f >/dev/null 2>&1
msiexec /i "$(wine_path "$msi")" /qn || fail "the install without KELVORA_PATH exited $?: $(cat "$work/out")"
[ "$(reg_value "$library_key" Path)" = 'C:\Elders' ] || fail "the install changed a Path it was not given"
msiexec /x "$(wine_path "$msi")" /qn || fail "the second uninstall exited $?: $(cat "$work/out")"
[ "$(reg_value "$library_key" Path)" = 'C:\Elders' ] || fail "the uninstall removed a Path the installer did not write"

[ $failures -eq 0 ] && echo "the installer package installs, upgrades, repairs, uninstalls and rolls back as documented"
exit $((failures > 0))
