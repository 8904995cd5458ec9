#!/usr/bin/env bash
# Sets up, builds and runs the main job on the built-in default setup: commissions the simulated
# drive's default motor through the setup editor, printing each step's values beside the motor's
# true ones, and writes the commissioned setup (commissioned.json) and the report (report/index.html).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target zekhost zekmod >/dev/null
build/zekhost/zekhost commission default -o commissioned.json --report report
