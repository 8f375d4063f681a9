#!/usr/bin/env bash
# The libFuzzer targets under clang: the seed corpus replayed (the
# workflow's tests), then each fuzzed for 20 s from a copy of its corpus, so
# that the checkout stays unchanged. A failure shows its log and input.
# shellcheck source=.ci/common.sh
. "$(dirname "$0")/../common.sh"

cmake --workflow --preset fuzz
# All at once: libFuzzer uses one core each.
targets=(data_line_fuzzer line_reader_fuzzer number_text_fuzzer)
pids=()
for target in "${targets[@]}"; do
  cp -r "fuzz/corpus/$target" "$work/$target"
  "build/fuzz/fuzz/$target" -max_total_time=20 -rss_limit_mb=2048 \
    -timeout=10 -artifact_prefix="$work/$target-" \
    "$work/$target" >"$work/$target.log" 2>&1 &
  pids+=($!)
done
failed=0
for i in "${!targets[@]}"; do
  target=${targets[i]}
  if wait "${pids[i]}"; then
    echo "$target: $(grep '^Done' "$work/$target.log")"
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
