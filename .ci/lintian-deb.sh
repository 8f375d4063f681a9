#!/usr/bin/env bash
# Runs lintian on the .deb files given and fails on any error (E) or warning
# (W); tags the package overrides, with the reason it gives, are shown (O)
# and pass. Works for the package of any architecture that cpack makes:
#   bash .ci/lintian-deb.sh build/arm64/brinok_<version>_arm64.deb
set -euo pipefail

[ $# -gt 0 ] || {
  echo "usage: $0 PACKAGE.deb..." >&2
  exit 2
}
if ! command -v lintian >/dev/null; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq lintian
fi

failed=0
for deb in "$@"; do
  echo "-- lintian $(basename "$deb")"
  # lintian exits 2 when it finds tags at the levels of --fail-on, and (in
  # Debian 12) also for overridden ones once --show-overrides is given, so
  # the verdict is read from the tags: E: and W: lines fail. Any other exit
  # status means lintian itself broke. Its complaint about running as root,
  # as CI does, is dropped.
  status=0
  output=$(lintian --display-level '>=pedantic' --show-overrides "$deb" \
    2> >(grep -v '^running with root privileges' >&2)) || status=$?
  [ -z "$output" ] || echo "$output"
  if [ "$status" -ne 0 ] && [ "$status" -ne 2 ]; then
    echo "FAIL: lintian exited $status on $deb" >&2
    failed=1
  elif grep -q '^[EW]: ' <<<"$output"; then
    echo "FAIL: lintian found errors or warnings in $deb" >&2
    failed=1
  fi
done
exit "$failed"
