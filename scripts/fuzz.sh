#!/usr/bin/env bash
# Builds the libFuzzer harnesses (preset fuzz, clang, ASan/UBSan) and runs each for SECONDS (default 60)
# on its corpus in build-fuzz/corpus/, seeded from the sample setups and the editor scripts. A fuzzer
# stops at its first crash; the input is kept in build-fuzz/crashes/NAME/ and the script exits 1.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
case "$seconds" in
  '' | *[!0-9]* | 0) echo "usage: scripts/fuzz.sh [SECONDS]" >&2; exit 2 ;;
esac

scripts/setup.sh
# clang's fuzzer runtime is only a recommendation of the clang package: name it.
pkgs=(clang libclang-rt-dev)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)"

out=build-fuzz
failed=0
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"

# fuzz NAME MAX_LEN DICT SEED...
fuzz() {
  local name=$1 maxlen=$2 dict=$3
  shift 3
  local corpus=$out/corpus/$name crashes=$out/crashes/$name log=$out/logs/$name.log rc=0
  mkdir -p "$corpus" "$crashes" "$out/logs"
  cp "$@" "$corpus/"
  echo "== $name: ${seconds}s, log $log"
  "$out/fuzz/${name}_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len="$maxlen" \
    -dict="$dict" -print_final_stats=1 -artifact_prefix="$crashes/" "$corpus" >"$log" 2>&1 || rc=$?

  local execs cov artefacts count
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  cov=$(grep -E '^#[0-9]+' "$log" | grep -oE 'cov: [0-9]+ ft: [0-9]+' | tail -n 1 || true)
  artefacts=$(sed -n 's/.*Test unit written to //p' "$log")
  count=$(printf '%s' "$artefacts" | grep -c . || true)
  printf '%s: execs %s, %s, crashes %s\n' "$name" "${execs:-?}" "${cov:-cov: ? ft: ?}" "$count"
  if [ "$rc" -ne 0 ] || [ "$count" -gt 0 ]; then
    failed=1
    grep -E 'terminate called|what\(\):|runtime error:|^SUMMARY: ' "$log" | head -n 3 | sed 's/^/  /' || true
    [ "$rc" -eq 0 ] || echo "  exit code $rc"
    printf '%s\n' "$artefacts" | grep . | sed 's/^/  input: /' || true
  fi
}

fuzz setup_document 65536 fuzz/setup_document.dict setups/*.json
fuzz script_parser 4096 fuzz/script.dict tests/scripts/*.zek
fuzz editor_script 4096 fuzz/script.dict tests/scripts/*.zek

exit "$failed"
