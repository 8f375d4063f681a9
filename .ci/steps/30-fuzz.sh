#!/usr/bin/env bash
# The libFuzzer targets under clang: the seed corpus replayed (the
# workflow's tests), then each fuzzed for 20 s, all at once (libFuzzer uses
# one core each), from a copy of its corpus, so that the checkout stays
# unchanged. A failure shows its log and input.
# shellcheck source=.ci/common.sh
. "$(dirname "$0")/../common.sh"

cmake --workflow --preset fuzz
fuzz() {
  cp -r "fuzz/corpus/$1" "$work/$1"
  if "build/fuzz/fuzz/$1" -max_total_time=20 -rss_limit_mb=2048 -timeout=10 \
    -artifact_prefix="$work/$1-" "$work/$1" >"$work/$1.log" 2>&1; then
    echo "$1: $(grep '^Done' "$work/$1.log")" && return
  fi
  echo "-- $1 FAILED" && cat "$work/$1.log"
  for input in "$work/$1"-*; do
    [ ! -e "$input" ] || { echo "-- failing input:" && od -A d -c "$input" | head -n 40; }
  done
  return 1
}
for target in data_line_fuzzer line_reader_fuzzer number_text_fuzzer; do
  fuzz "$target" >"$work/$target.out" &
done
failed=0
for pid in $(jobs -p); do wait "$pid" || failed=1; done
cat "$work"/*.out
exit "$failed"
