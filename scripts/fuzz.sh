#!/usr/bin/env bash
# Builds the libFuzzer targets (the fuzz preset: clang, ASan+UBSan) and runs
# each for a while from its committed corpus. Fails on any crash, leak,
# sanitizer report, input slower than a second or memory blow-up.
#   scripts/fuzz.sh [seconds]     seconds per target, 30 when omitted
# The corpus is copied to a temporary folder first, so a run never writes
# into the tree; inputs that failed are kept under build/fuzz/artifacts/.
set -euo pipefail
seconds=${1:-30}
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/setup.sh
cmake --preset fuzz
cmake --build --preset fuzz --target quillmoss_fuzzers

bin=$root/build/fuzz/fuzz
artifacts=$root/build/fuzz/artifacts
mkdir -p "$artifacts"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0}

failed=()
while read -r name; do
  [ -n "$name" ] || continue
  corpus=$work/$name
  mkdir -p "$corpus"
  if [ -d "fuzz/corpus/$name" ]; then cp -R "fuzz/corpus/$name/." "$corpus/"; fi
  args=(-max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 -print_final_stats=1
        -artifact_prefix="$artifacts/$name-")
  if [ -f "fuzz/dict/$name.dict" ]; then args+=(-dict="fuzz/dict/$name.dict"); fi
  echo "fuzz: $name, ${seconds} s from $(find "$corpus" -type f | wc -l) inputs"
  log=$work/$name.log
  if "$bin/$name" "${args[@]}" "$corpus" >"$log" 2>&1; then
    grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1 || true
    grep -E '^stat::(number_of_executed_units|slowest_unit_time_sec|peak_rss_mb)' "$log" || true
  else
    failed+=("$name")
    echo "fuzz: $name FAILED; the input is under $artifacts/"
    grep -v '^"' "$log" | tail -n 80
  fi
done <"$bin/fuzzers.txt"

if ((${#failed[@]} > 0)); then
  echo "fuzz: failed: ${failed[*]}"
  exit 1
fi
echo "fuzz: all targets clean"
