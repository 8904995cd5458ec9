#!/usr/bin/env bash
# End-to-end checks of the zekhost command line: output, exit codes, error lines.
set -u
zekhost="$1"; setups="$2"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
fail=0; pass=0

check() {  # check NAME EXPECTED_EXIT EXPECTED_STDOUT_REGEX -- ARGS...
    local name="$1" code="$2" pattern="$3"; shift 4
    local out rc
    out=$("$zekhost" "$@" 2>"$tmp/err"); rc=$?
    if [ "$rc" -ne "$code" ] || ! printf '%s\n' "$out" | grep -Eq -- "$pattern"; then
        echo "FAIL $name: exit $rc (want $code)"; echo "  stdout: $(printf '%s' "$out" | head -3)"; echo "  stderr: $(head -3 "$tmp/err")"
        fail=$((fail + 1))
    else
        pass=$((pass + 1))
    fi
}
check_err() {  # check_err NAME EXPECTED_EXIT STDERR_REGEX -- ARGS...
    local name="$1" code="$2" pattern="$3"; shift 4
    "$zekhost" "$@" >/dev/null 2>"$tmp/err"; local rc=$?
    if [ "$rc" -ne "$code" ] || [ "$(wc -l <"$tmp/err")" -ne 1 ] || ! grep -Eq -- "$pattern" "$tmp/err"; then
        echo "FAIL $name: exit $rc (want $code), stderr: $(cat "$tmp/err")"; fail=$((fail + 1))
    else
        pass=$((pass + 1))
    fi
}

check scale-current 0 '^0\.0006105006105006105 0$' -- scale default A Motor_Current
check scale-temperature 0 '^0\.005036630036630036 -9927\.272727272728$' -- scale default "°C" x
check scale-unknown 0 '^1 0$' -- scale default rpm Motor_Speed
check scale-set 0 '^0\.001221001221001221 0$' -- scale default A x --set ImaxPS=40
check scale-sinusoidal 0 '^0\.000805688650166326 0$' -- scale default V UQREF --set CommutationMethod=0 --sinusoidal-mode
check scale-trapezoidal 0 '^0\.0014648884548478652 0$' -- scale default V UQREF --set CommutationMethod=0
check show 0 '^Vdc +48 +V ' -- show default
check show-options 0 'NewDeadBand = "1"' -- show default
check show-option-set 0 'isIntelligentMotor = "1"' -- show default --option isIntelligentMotor=1
check show-file 0 '^MECRESL +10000' -- show "$setups/default.json"

printf '{"schema":"zeksetup-1","parameters":{"Vdc":{"value":1,"min":5,"max":2}}}' >"$tmp/bad.json"
check_err bad-range 1 'bad\.json: parameters\.Vdc: min is above max' -- show "$tmp/bad.json"
printf '{"schema":' >"$tmp/broken.json"
check_err broken-json 1 'broken\.json: schema: not valid JSON at byte 11' -- show "$tmp/broken.json"
check_err missing-file 1 'cannot open' -- show "$tmp/none.json"
check_err unknown-command 2 '.' -- frobnicate default
check_err missing-arg 2 '.' -- scale default A
check_err set-unknown 2 'no parameter "Nope"' -- show default --set Nope=1
check_err set-not-number 2 'not a number' -- show default --set Vdc=abc
check_err bad-module 1 'cannot load the module' -- show default --module /nonexistent.so

# Register engine commands: the sample setups are stable under compute then encode.
for setup in default "$setups/full.json"; do
    name=$(basename "$setup" .json)
    if "$zekhost" compute "$setup" -o "$tmp/$name.c.json" 2>"$tmp/err" && "$zekhost" encode "$tmp/$name.c.json" -o "$tmp/$name.e.json" 2>>"$tmp/err" \
        && cmp -s "$tmp/$name.c.json" "$tmp/$name.e.json" && [ ! -s "$tmp/err" ]; then
        pass=$((pass + 1))
    else
        echo "FAIL compute-encode-stable $name: $(head -3 "$tmp/err")"; fail=$((fail + 1))
    fi
done
check decode-stdout 0 '"schema": "zeksetup-1"' -- decode default
check encode-set 0 '"PWMPER": \{' -- encode default --set PWM_freq=10000
check biquad-full 0 '^IQREF_BQ_INI 1$' -- biquad "$setups/full.json"
check biquad-lowpass 0 '^BQ2SF 2$' -- biquad "$setups/full.json"
check biquad-on-off 0 '^BQ3B0 0$' -- biquad "$setups/full.json" --set BQFilter3=0
check_err biquad-none 1 'without biquad filters' -- biquad default
check_err output-dir-missing 1 'cannot write' -- encode default -o "$tmp/missing/out.json"
[ -e "$tmp/missing/out.json" ] && { echo "FAIL half-written output"; fail=$((fail + 1)); }

# Scripted editor sessions.
scripts="$setups/../tests/scripts"
check edit-speed-mode 0 'EditSetup returned 1' -- edit default --script "$scripts/speed_mode_gain.zek" -o "$tmp/edited.json"
if grep -A1 '"KPS"' "$tmp/edited.json" | grep -q '"value": 20479.375' && grep -q '"IsClosedSpeed": "1"' "$tmp/edited.json"; then
    pass=$((pass + 1))
else
    echo "FAIL edit-speed-mode: the written setup lacks the re-encoded registers"; fail=$((fail + 1))
fi
check edit-cancel 0 'EditSetup returned 0' -- edit default --script "$scripts/cancel_restores.zek" -o "$tmp/cancelled.json"
"$zekhost" show default >"$tmp/show.before"; "$zekhost" show "$tmp/cancelled.json" >"$tmp/show.after"
cmp -s "$tmp/show.before" "$tmp/show.after" && pass=$((pass + 1)) || { echo "FAIL edit-cancel: the setup changed"; fail=$((fail + 1)); }
check edit-axis-help 0 'help ".*" context 262406' -- edit default --script "$scripts/axis_id_and_help.zek" -o "$tmp/axis.json"
grep -A1 '"Axis_ID_list"' "$tmp/axis.json" | grep -q '"value": 130' && pass=$((pass + 1)) || { echo "FAIL edit-axis-help: axis id not stored"; fail=$((fail + 1)); }
check edit-failing 3 'FAILED line 3: expected text "12345", saw "48"' -- edit default --script "$scripts/failing_expectation.zek"
check_err edit-bad-script 2 'frob' -- edit default --script <(echo "frob 1")

# Commissioning tests against the simulated drive.
check test-rl 0 'R +setup 0\.9 Ohm, measured [0-9.]+ Ohm, true 1\.12 Ohm \(error [+-]0\.[0-9]+ %\)' -- test rl default -o "$tmp/rl.json"
grep -A1 '"R": {' "$tmp/rl.json" | grep -q '"value": 1\.1[12]' && pass=$((pass + 1)) || { echo "FAIL test-rl: R not kept"; fail=$((fail + 1)); }
check test-vdc 0 'Vdc +setup 48 V, measured 46\.[23][0-9]* V, true 46\.3 V \(error [+-]0\.[01][0-9]* %\)' -- test vdc default
check test-phase-full 0 '^result: succeeded' -- test phase "$setups/full.json"
printf '{"resistance": 2.5, "inductance": 0.004, "vdc": 36}' >"$tmp/motor.json"
check test-motor-file 0 'R +setup 0\.9 Ohm, measured [0-9.]+ Ohm, true 2\.5 Ohm \(error [+-]0\.[0-9]+ %\)' -- test rl default --motor "$tmp/motor.json"
check test-fault 1 'Drive / Motor shortcircuit protection triggered\.' -- test rl default --fault short-circuit
check test-script 0 'status "Running test"' -- test vdc default --script <(printf 'click 10000\nwait 1000\nexpect-text 10001 "Test succeeded"\nanswer no\ncancel\n')
check edit-simulated 0 'close 290 OK' -- edit default --simulate --script "$scripts/identify_and_detect.zek" -o "$tmp/ident.json"
grep -A1 '"L": {' "$tmp/ident.json" | grep -q '"value": 0\.0014[45]' && pass=$((pass + 1)) || { echo "FAIL edit-simulated: L not kept"; fail=$((fail + 1)); }
check edit-commission 0 'EditSetup returned 1' -- edit default --simulate --script "$scripts/commission.zek" -o "$tmp/by-hand.json"
check commission 0 '^drive time [0-9.]+ s, wall time' -- commission default -o "$tmp/commissioned.json" --report "$tmp/report"
[ -s "$tmp/commissioned.json" ] && grep -q '<img src="current.svg"' "$tmp/report/index.html" && [ -s "$tmp/report/current.svg" ] &&
    pass=$((pass + 1)) || { echo "FAIL commission: setup or report missing"; fail=$((fail + 1)); }
check_err commission-fault 1 'commissioning stopped at "Motor phase connections": .*shortcircuit' -- commission default --fault short-circuit -o "$tmp/never.json"
check edit-every-dialog 0 'close 111 Cancel' -- edit default --simulate --script "$scripts/every_dialog.zek"
check edit-bench 0 'EditSetup returned 0' -- edit default --simulate --script "$scripts/turn_the_shaft.zek"
check_err edit-bench-no-drive 3 'line 5: no simulated drive is attached' -- edit default --script "$scripts/turn_the_shaft.zek"
check test-noise-seed 0 'Vdc +setup 48 V, measured 46\.30[0-9]* V' -- test vdc default --noise 0 --seed 7
check test-phases-swapped 0 'no fault injected|phases-swapped' -- test rl default --fault phases-swapped
check_err test-open-phase 1 'the test failed' -- test rl default --fault open-phase --seed 3
check_err test-bad-noise 2 'noise' -- test vdc default --noise -1
check_err test-unknown 2 'unknown test' -- test frob default
check_err test-bad-fault 2 'unknown fault' -- test rl default --fault melted
printf '{"resistance": "high"}' >"$tmp/badmotor.json"
check_err test-bad-motor 1 'badmotor\.json.*resistance' -- test rl default --motor "$tmp/badmotor.json"

# Inputs a user can get wrong: one line on stderr, a non-zero exit, nothing written.
inputs="$setups/../tests/inputs"
check_err load-number-overflow 1 'parameters\.Vdc\.value: not valid JSON .*number overflow' -- compute "$inputs/number_overflow.json"
check_err load-duplicate 1 'parameters\.Vdc: duplicate member "Vdc"' -- show "$inputs/duplicate_member.json"
check_err load-endless 1 '/dev/zero: larger than 256 MiB' -- show /dev/zero
check_err load-folder 1 'is a folder, not a setup document' -- show "$tmp"
check_err option-not-utf8 2 'not valid UTF-8' -- compute default --option $'a=\xff'
printf '{"schema":"zeksetup-1","parameters":{"Vdc":{"value":48,"unit":"V "}}}' >"$tmp/small.json"
check_err missing-names 1 'compute: the setup lacks [0-9]+ names it needs: [A-Za-z_]+, ' -- compute "$tmp/small.json" -o "$tmp/never.json"
[ ! -e "$tmp/never.json" ] && pass=$((pass + 1)) || { echo "FAIL missing-names: wrote the output"; fail=$((fail + 1)); }
check_err scale-unknown-unit 2 'unknown unit "furlong"' -- scale default furlong x
check_err script-number-wraps 3 'line 1: control id expected, got "4294968356"' -- edit default --script "$inputs/number_wraps.zek"
check_err script-folder 2 'cannot read the script' -- edit default --script "$tmp"
check_err measured-out-of-limits 1 'The measured DC bus voltage, 1e-300 V, lies outside the limits of "Vdc" \(9 to 90 V\)' -- test vdc default --set VdcMaxMeasurable=1e-300 -o "$tmp/kept.json"
grep -A1 '"Vdc": {' "$tmp/kept.json" | grep -q '"value": 48,' && pass=$((pass + 1)) || { echo "FAIL measured-out-of-limits: Vdc changed"; fail=$((fail + 1)); }
"$zekhost" compute default >/dev/full 2>"$tmp/err"; rc=$?
[ "$rc" -eq 1 ] && grep -q 'cannot write to standard output' "$tmp/err" && pass=$((pass + 1)) || { echo "FAIL stdout-full: exit $rc"; fail=$((fail + 1)); }
# Output files: a link placed where a temporary file might go is not followed, the mode is kept.
ln -s "$tmp/victim" "$tmp/out.json.tmp"
cp "$setups/default.json" "$tmp/private.json"; chmod 600 "$tmp/private.json"
"$zekhost" compute "$tmp/private.json" -o "$tmp/out.json" && "$zekhost" compute "$tmp/private.json" -o "$tmp/private.json"
[ ! -e "$tmp/victim" ] && [ "$(stat -c %a "$tmp/out.json")" = 600 ] && [ "$(stat -c %a "$tmp/private.json")" = 600 ] &&
    [ -z "$(find "$tmp" -name '.zek-*')" ] && pass=$((pass + 1)) || { echo "FAIL output-files"; fail=$((fail + 1)); }

echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
