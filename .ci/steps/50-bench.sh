#!/usr/bin/env bash
# Smoke test of the benchmark: builds what it needs from the release
# configuration and runs its short mode once (bench/bench.sh installs
# hyperfine, strace and time where they are missing). The figures are
# printed, not judged (a shared CI machine times too roughly); the step fails
# only when the benchmark itself breaks: a program that cannot be built or
# started, or a run that ends otherwise than expected.
set -euo pipefail
cd "$(dirname "$0")/../.."

cmake --workflow --preset bench-quick
