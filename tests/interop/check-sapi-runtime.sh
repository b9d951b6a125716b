#!/usr/bin/env bash
# check-sapi-runtime.sh BUILD_DIR TEST_PROGRAM: the built DLL, tools and demo voice, and the
# SAPI client test program, run inside the Debian 13 root with Wine 10 (cmake/sapi-root) in
# a fresh prefix, by sapi-session.sh.
set -euo pipefail
build_dir=$(cd "$1" && pwd)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
stage=$build_dir/tests/interop/stage
rm -rf "$stage"
mkdir -p "$stage/bin" "$stage/demo/x64"
cp "$build_dir/bin/KelvoraSAPI5.dll" "$build_dir/bin/kelvora-voice.exe" \
  "$build_dir/bin/kelvora-speak.exe" "$2" "$stage/bin/"
cp "$build_dir/demo/x64/KELVORA.DLL" "$stage/demo/x64/"
cp "$here/sapi-session.sh" "$here/../../cmake/wine-env" "$stage/"
"$here/../../cmake/sapi-root" run "$stage" bash sapi-session.sh
