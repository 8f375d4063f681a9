#!/usr/bin/env bash
# Smoke test of the benchmark: its short mode, once, on the release build.
# The figures are printed, not judged (a shared CI machine times too
# roughly); the step fails only when the benchmark itself breaks.
# shellcheck source=.ci/common.sh
. "$(dirname "$0")/../common.sh"
cmake --workflow --preset bench-quick
