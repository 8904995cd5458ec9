#!/bin/sh
# zekhost gui --script: the same trace, setup and exit code as zekhost edit --script, played
# through the widgets; --screenshot writes a PNG.
set -u
zekhost=$1
scripts=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
passes=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# check CONDITION... -- MESSAGE: counts a pass or a failure
check() {
    msg=$1; shift
    if "$@"; then passes=$((passes + 1)); else fail "$msg"; fi
}

# Same script, both front ends: traces, written setups and exit codes must agree.
same_as_edit() {
    name=$1; shift
    "$zekhost" edit default "$@" --script "$scripts/$name" -o "$tmp/edit.json" >"$tmp/edit.txt" 2>"$tmp/edit.err"
    edit_rc=$?
    "$zekhost" gui default "$@" --script "$scripts/$name" -o "$tmp/gui.json" >"$tmp/gui.txt" 2>"$tmp/gui.err"
    gui_rc=$?
    check "$name: exit $gui_rc, edit exits $edit_rc: $(cat "$tmp/gui.err")" [ "$edit_rc" = "$gui_rc" ]
    check "$name: trace differs" cmp -s "$tmp/edit.txt" "$tmp/gui.txt"
    cmp -s "$tmp/edit.txt" "$tmp/gui.txt" || diff "$tmp/edit.txt" "$tmp/gui.txt" | head -20
    check "$name: written setup differs" cmp -s "$tmp/edit.json" "$tmp/gui.json"
    echo "$name: exit $gui_rc"
}
same_as_edit commission.zek --simulate
same_as_edit identify_and_detect.zek --simulate
same_as_edit cancel_restores.zek
same_as_edit failing_expectation.zek

# The picture of the window on top when the script ends.
"$zekhost" gui default --script "$scripts/speed_mode_gain.zek" --screenshot "$tmp/shot.png" >/dev/null
check "screenshot: exit $?" [ $? = 0 ]
check "screenshot: empty file" [ -s "$tmp/shot.png" ]
check "screenshot: not a PNG" [ "$(head -c 8 "$tmp/shot.png" | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ]
"$zekhost" gui default --screenshot "$tmp/x.png" >/dev/null 2>&1
check "--screenshot without --script is a usage error" [ $? = 2 ]
check "--screenshot without --script wrote a file" [ ! -e "$tmp/x.png" ]

echo "$passes passed, $failures failed"
[ "$failures" = 0 ]
