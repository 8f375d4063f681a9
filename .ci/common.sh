# shellcheck shell=bash
# What the CI steps share; source it from a step run in the repository's
# root: a scratch folder $work, removed when the step ends, fail() to end
# the step with a message, and the project's $version.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

version=$(sed -n 's/^  VERSION \([0-9.]*\)$/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no project version in CMakeLists.txt"
