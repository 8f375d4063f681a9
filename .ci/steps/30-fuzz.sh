#!/usr/bin/env bash
# Builds the libFuzzer targets under clang, replays their seed corpus, and
# fuzzes each one briefly, from a copy of its corpus so that the checkout
# stays unchanged. Any crash, sanitizer report or broken property fails the
# step; the input that caused it is shown.
# shellcheck source=.ci/common.sh
. "$(dirname "$0")/../common.sh"

cmake --workflow --preset fuzz
# The three at once: libFuzzer uses one core each, and the machine has two.
targets=(data_line_fuzzer line_reader_fuzzer number_text_fuzzer)
pids=()
for target in "${targets[@]}"; do
  cp -r "fuzz/corpus/$target" "$work/$target"
  "build/fuzz/fuzz/$target" -max_total_time=20 -rss_limit_mb=2048 \
    -timeout=10 -print_final_stats=1 -artifact_prefix="$work/$target-" \
    "$work/$target" >"$work/$target.log" 2>&1 &
  pids+=($!)
done
failed=0
for i in "${!targets[@]}"; do
  target=${targets[i]}
  if wait "${pids[i]}"; then
    echo "-- $target: $(grep -E \
      '^(Done|stat::(number_of_executed_units|average_exec_per_sec))' \
      "$work/$target.log" | tr '\n' ' ')"
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
