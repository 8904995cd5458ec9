#!/usr/bin/env bash
# Sets up, builds and runs the main job on the built-in default setup: the DC bus detection and the
# resistance and inductance identification against the simulated drive and its default motor,
# printing what was measured beside the motor's true values.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target zekhost zekmod >/dev/null
build/zekhost/zekhost test vdc default
echo
build/zekhost/zekhost test rl default
