#!/usr/bin/env bash
# Sets up, builds and runs the main job on the built-in default setup.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target zekhost zekmod >/dev/null
build/zekhost/zekhost show default
