#!/usr/bin/env bash
# Builds the libFuzzer targets under clang and fuzzes each one briefly,
# starting from a copy of its seed corpus so the checkout stays unchanged.
# Any crash, sanitizer report or broken property fails the step; the input
# that caused it is shown.
set -euo pipefail
cd "$(dirname "$0")/../.."

readonly seconds_per_target=20
readonly targets=(data_line_fuzzer line_reader_fuzzer number_text_fuzzer)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# clang, and the libFuzzer runtime that some installs of it lack.
links_fuzzer() {
  printf '%s\n' 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*,' \
    'unsigned long) { return 0; }' >"$work/probe.cc"
  clang++ -fsanitize=fuzzer "$work/probe.cc" -o "$work/probe" 2>/dev/null
}
if ! command -v clang++ >/dev/null || ! links_fuzzer; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang libclang-rt-dev
  links_fuzzer
fi

cmake --preset fuzz
cmake --build --preset fuzz
# The seed corpus, once, under libFuzzer and the sanitizers.
ctest --preset fuzz

# The three at once: libFuzzer uses one core each, and the machine has two.
fuzz() {
  local target=$1
  cp -r "fuzz/corpus/$target" "$work/$target"
  "build/fuzz/fuzz/$target" -max_total_time="$seconds_per_target" \
    -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$work/$target-" "$work/$target" >"$work/$target.log" 2>&1
}
declare -A fuzzers
for target in "${targets[@]}"; do
  echo "-- fuzzing $target for ${seconds_per_target}s"
  fuzz "$target" &
  fuzzers[$target]=$!
done
failed=0
for target in "${targets[@]}"; do
  if wait "${fuzzers[$target]}"; then
    echo "-- $target"
    grep -E '^(Done|stat::(number_of_executed_units|average_exec_per_sec))' \
      "$work/$target.log"
    continue
  fi
  failed=1
  echo "-- $target FAILED"
  cat "$work/$target.log"
  for artifact in "$work/$target"-*; do
    [ -e "$artifact" ] || continue
    echo "-- failing input $(basename "$artifact"):"
    od -A d -c "$artifact" | head -n 40
  done
done
exit "$failed"
