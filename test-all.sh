#!/usr/bin/env bash
# The one test command: installs what is missing (Debian 12, as root), configures and builds
# the host build and the Windows build (with its installer package and zip file), runs every
# test of both (Windows under Wine; the SAPI runtime tests under Wine 10 in a Debian 13 root,
# made once and kept, see cmake/sapi-root), and checks that the release builds reproducibly.
# Usage: ./test-all.sh
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

source cmake/ensure-packages
ensure_packages cmake make g++ googletest libgtest-dev libgmock-dev libbenchmark-dev \
  g++-mingw-w64-x86-64 mingw-w64-tools wine wine64 faketime icoutils clang libclang-rt-14-dev \
  wixl msitools zip

jobs=$(nproc)
echo "== host build"
cmake --preset host
cmake --build --preset host -j "$jobs"
echo "== host build under ThreadSanitizer"
cmake --preset host-tsan
cmake --build --preset host-tsan -j "$jobs"
echo "== host fuzz targets (clang, libFuzzer)"
cmake --preset host-fuzz
cmake --build --preset host-fuzz -j "$jobs"
echo "== windows build"
cmake --preset windows
cmake --build --preset windows -j "$jobs"

echo "== Debian 13 root with Wine 10, for the SAPI runtime tests"
cmake/sapi-root make

cmake/wine-prefix start build/windows
trap 'cmake/wine-prefix stop build/windows' EXIT

status=0
echo "== host tests"
ctest --preset host -j "$jobs" || status=1
echo "== host tests under ThreadSanitizer"
ctest --preset host-tsan -j "$jobs" || status=1
echo "== fuzz targets, a bounded number of inputs each"
ctest --preset host-fuzz || status=1
echo "== windows tests (under Wine)"
ctest --preset windows -j "$jobs" || status=1
echo "== the release built twice, from two clean clones, compared byte for byte"
cmake/check-reproducible || status=1
exit $status
