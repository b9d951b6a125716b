#!/usr/bin/env bash
# run-fuzz-target.sh TARGET SEEDS WORK [libFuzzer options...]: runs a fuzz target over its
# seed corpus in the repository, writing what it finds new into WORK (never into SEEDS).
set -euo pipefail
target=$1 seeds=$2 work=$3
shift 3
mkdir -p "$work"
exec "$target" "$@" "$work" "$seeds"
