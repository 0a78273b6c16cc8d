#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: a short run
# of every fuzz target under AddressSanitizer, then the CTest suite (whose
# summary is the last thing printed).
# VELMORA_FUZZ_SECONDS sets the time per fuzz target (default 10; 0 skips).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
bash tools/build.sh

fuzz_seconds=${VELMORA_FUZZ_SECONDS:-10}
if [ "$fuzz_seconds" -gt 0 ]; then
  cmake -S . -B build-fuzz -DVELMORA_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build-fuzz -j2
  bash fuzz/run.sh build-fuzz "$fuzz_seconds"
fi

export QT_QPA_PLATFORM=offscreen
ctest --test-dir build -j2 --output-on-failure --timeout 300
