#!/usr/bin/env bash
# Times whole runs of brinok with hyperfine against a reference that does the
# same work with the least code: bench/reference.c (the same system calls,
# the report written as a constant) for a normal run and a run with no log,
# and `wc -l` for the rejection of a 100 MB log. Rounds alternate which
# program goes first; the median of the rounds' medians and the ratio are
# printed, with each program's peak memory and system calls per run. The
# figures are printed, never judged: CI only checks that the benchmark runs.
# Usage: bench.sh BRINOK REFERENCE SAMPLE-LOG [--quick]
set -euo pipefail
brinok=$(realpath "$1") reference=$(realpath "$2") sample=$(realpath "$3")
runs=1000 rounds=5
if [ "${4:-}" = --quick ]; then runs=20 rounds=2; fi
for tool in hyperfine strace /usr/bin/time; do
  command -v "$tool" >/dev/null || {
    echo "bench.sh: no $tool; it needs hyperfine, strace and /usr/bin/time" \
      "(on Debian: apt-get install hyperfine strace time)" >&2
    exit 2
  }
done
# RAM-backed where there is /dev/shm, so the disk does not drown the figures.
work=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT
big=$work/big.log
head -c 100000000 <(yes $'12345678\r') >"$big" # ten million lines

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# row RUNS NAME EXPECTED-STATUS PREPARE BRINOK-COMMAND REFERENCE-COMMAND
row() {
  local runs=$1 name=$2 status=$3 prepare=$4 commands=("$5" "$6") r i s=0
  local -a prep=() median=() peak=() calls=()
  [ -z "$prepare" ] || prep=(--prepare "$prepare")
  cd "$(mktemp -d -p "$work")"
  # A run that ends otherwise than it should would time something else.
  eval "$prepare" && ${commands[0]} || s=$?
  [ "$s" = "$status" ] || { echo "$name: exit status $s, not $status" >&2; exit 1; }
  for r in $(seq "$rounds"); do
    hyperfine -N -i -w 10 -r "$runs" "${prep[@]}" --export-csv "$r.csv" \
      --style none "${commands[@]:r%2}" "${commands[@]:0:r%2}" \
      >/dev/null 2>"$r.log" || { cat "$r.log" >&2; exit 1; }
  done
  # The commands are words to split: "wc -l FILE".
  # shellcheck disable=SC2086
  for i in 0 1; do
    median+=("$(cat ./*.csv | awk -F, -v c="${commands[i]}" \
      '$1 == c { print $4 * 1000 }' | median)")
    eval "$prepare"
    /usr/bin/time -f %M -o peak ${commands[i]} >/dev/null 2>&1 || true
    peak+=("$(tail -n 1 peak)")
    eval "$prepare"
    strace -f -c -U calls -o calls ${commands[i]} >/dev/null 2>&1 || true
    calls+=("$(awk '$2 == "total" { print $1 }' calls)")
  done
  printf '%-17s %9.3f %9.3f %6.3f %8s %8s %6s %6s\n' "$name" "${median[@]}" \
    "$(awk -v a="${median[0]}" -v b="${median[1]}" 'BEGIN { print a / b }')" \
    "${peak[@]}" "${calls[@]}"
}

echo "$rounds rounds of $runs runs (100 MB: $((runs / 10 + 1))), in $work;" \
  "times are medians in ms"
printf '%-17s %9s %9s %6s %8s %8s %6s %6s\n' "" brinok reference ratio \
  "KiB" "ref KiB" calls "ref"
row "$runs" "normal run" 0 "cp $sample QQ9QQ-7.Log" "$brinok" "$reference"
row "$runs" "no log" 3 "" "$brinok" "$reference"
# wc -l reads the whole log: a tenth of the runs take as long.
row $((runs / 10 + 1)) "100 MB rejection" 2 "ln -f $big QQ9QQ-7.Log" "$brinok" \
  "wc -l $big"
echo "targets: a normal run and a run with no log at most 1.05 times the reference"
