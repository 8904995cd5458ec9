#!/usr/bin/env bash
# Sets up, builds and runs every test. PRESET=asan runs them under AddressSanitizer/UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
preset="${PRESET:-default}"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)"
ctest --preset "$preset" -j"$(nproc)"
