#!/usr/bin/env bash
# check-zip.sh BUILD_DIR VERSION: the zip file for installing by hand holds exactly the DLL,
# the two tools, README.txt (Windows line ends), the demo voice as demo/x64/KELVORA.DLL and
# SHA256SUMS, each file as built, and the sums hold.
set -u
build_dir=$(cd "$1" && pwd)
zip=$build_dir/packages/KelvoraSAPI5-$2-x64.zip
work=$build_dir/tests/installer/zip
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

rm -rf "$work" && mkdir -p "$work"
(cd "$work" && cmake -E tar xf "$zip") || { echo "FAIL: cannot unpack $zip"; exit 1; }
listing=$(cd "$work" && find . -type f | sort | tr '\n' ' ')
expected='./KelvoraSAPI5.dll ./README.txt ./SHA256SUMS ./demo/x64/KELVORA.DLL ./kelvora-speak.exe ./kelvora-voice.exe '
[ "$listing" = "$expected" ] || fail "the zip file holds $listing"
(cd "$work" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not hold"
[ "$(cut -d' ' -f3 "$work/SHA256SUMS" | sort | tr '\n' ' ')" = \
  'KelvoraSAPI5.dll README.txt demo/x64/KELVORA.DLL kelvora-speak.exe kelvora-voice.exe ' ] ||
  fail "SHA256SUMS does not cover every file: $(cat "$work/SHA256SUMS")"
for file in KelvoraSAPI5.dll kelvora-speak.exe kelvora-voice.exe; do
  cmp -s "$work/$file" "$build_dir/bin/$file" || fail "$file differs from the build's"
done
cmp -s "$work/demo/x64/KELVORA.DLL" "$build_dir/demo/x64/KELVORA.DLL" || fail "the demo voice differs from the build's"
[ "$(grep -c $'\r$' "$work/README.txt")" -eq "$(wc -l <"$work/README.txt")" ] ||
  fail "README.txt does not have Windows line ends"
grep -q "version $2" "$work/README.txt" || fail "README.txt does not name version $2"

[ $failures -eq 0 ] && echo "the zip file holds what a manual install needs, with its sums"
exit $((failures > 0))
