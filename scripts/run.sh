#!/usr/bin/env bash
# Sets up, builds and runs the main job on the built-in default setup.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target zekhost zekmod >/dev/null
# A scripted session of the setup editor on the default setup: speed control, a new speed gain, OK.
build/zekhost/zekhost edit default --script tests/scripts/speed_mode_gain.zek -o build/edited-default.json
echo "The edited setup, with its registers re-encoded, is in build/edited-default.json."
