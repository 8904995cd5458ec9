#!/usr/bin/env bash
# Makes the README's pictures anew: each script in docs/screenshots/ is played through the desktop
# front end's real widgets offscreen, and the topmost window is pictured when it ends.
set -euo pipefail
cd "$(dirname "$0")/.."
zekhost=build/zekhost/zekhost
[ -x "$zekhost" ] || { cmake --preset default >/dev/null && cmake --build --preset default -j"$(nproc)" --target zekhost; }
export QT_QPA_PLATFORM=offscreen
"$zekhost" gui default --script docs/screenshots/drive_setup.zek --screenshot docs/screenshots/drive_setup.png >/dev/null
"$zekhost" gui default --simulate --script docs/screenshots/current_step.zek --screenshot docs/screenshots/current_step.png >/dev/null
echo "docs/screenshots/drive_setup.png docs/screenshots/current_step.png"
