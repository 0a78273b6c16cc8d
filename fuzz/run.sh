#!/usr/bin/env bash
# Runs every fuzz target built in BUILD-DIR for SECONDS each, starting from
# its seed corpus (fuzz/corpus/<target>/) when there is one. Fails on the
# first crash, leak or sanitizer report.
set -euo pipefail
build=${1:?usage: fuzz/run.sh BUILD-DIR SECONDS}
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
status=0
for target in "$build"/fuzz/*Fuzz; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  work=$(mktemp -d)
  seeds=()
  [ -d "$here/corpus/$name" ] && seeds=("$here/corpus/$name")
  echo "fuzz: $name for ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -print_final_stats=0 -artifact_prefix="$work/" \
      "$work" "${seeds[@]}" >"$work/log" 2>&1; then
    echo "fuzz: $name FAILED"; tail -40 "$work/log"; status=1
  else
    grep -E '^#[0-9]+.*DONE' "$work/log" | tail -1 || true
  fi
  rm -rf "$work"
done
exit $status
