#!/usr/bin/env bash
# check-dll.sh DLL BUILD_DIR: the shipped file as a Windows machine meets it. Its export
# directory, its imports, and regsvr32 registering and unregistering it under Wine.
set -u
dll=$1
build_dir=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

headers=$(x86_64-w64-mingw32-objdump -p "$dll")
grep -Eq '^Name[[:space:]]+[0-9a-f]+ KelvoraSAPI5\.dll$' <<<"$headers" ||
  fail "the export directory is not named KelvoraSAPI5.dll"
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" |
          grep -Eo '^[[:space:]]+\[ *[0-9]+\] [A-Za-z_]+' | awk '{print $NF}' | sort | tr '\n' ' ')
[ "$exports" = "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer " ] ||
  fail "exports are '$exports'"
imports=$(grep 'DLL Name:' <<<"$headers" | awk '{print tolower($3)}' | tr '\n' ' ')
for runtime in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
  case " $imports" in *" $runtime "*) fail "imports $runtime" ;; esac
done

source "$here/../../cmake/wine-env" "$build_dir"
"$here/../../cmake/wine-prefix" start "$build_dir"
windows_dll=$(wine_path "$dll")
clsid='HKCR\CLSID\{2A76E30B-904F-48ED-A628-CDB91C7B5D1A}'
"$KELVORA_WINE64" regsvr32 /s "$windows_dll" </dev/null >/dev/null 2>&1 ||
  fail "regsvr32 exited $?"
query=$("$KELVORA_WINE64" reg query "$clsid\\InprocServer32" 2>/dev/null | tr -d '\r')
grep -Fq "$windows_dll" <<<"$query" || fail "InprocServer32 does not name the DLL: $query"
grep -Eq 'ThreadingModel[[:space:]]+REG_SZ[[:space:]]+Both' <<<"$query" ||
  fail "ThreadingModel is not Both: $query"
"$KELVORA_WINE64" regsvr32 /u /s "$windows_dll" </dev/null >/dev/null 2>&1 ||
  fail "regsvr32 /u exited $?"
"$KELVORA_WINE64" reg query "$clsid" >/dev/null 2>&1 && fail "the class key is still there"

[ $failures -eq 0 ] && echo "KelvoraSAPI5.dll: exports, imports and regsvr32 as expected"
exit $((failures > 0))
