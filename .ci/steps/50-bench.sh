#!/usr/bin/env bash
# Smoke test of the benchmark: builds what it needs from the release
# configuration and runs its short mode once. The figures are printed, not
# judged (a shared CI machine times too roughly); the step fails only when
# the benchmark itself breaks: a program that cannot be built or started, a
# run that ends or leaves the directory otherwise than expected.
set -euo pipefail
cd "$(dirname "$0")/../.."

# The system call counts need strace; everything else is in coreutils.
if ! command -v strace >/dev/null; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq strace
fi

cmake --workflow --preset bench-quick
