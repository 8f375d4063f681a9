#!/usr/bin/env bash
# The direwolf recipe, run for real: brinok converts a log in the station
# folder of contrib/direwolf/brinok-beacon.conf, direwolf runs with that
# configuration (only the sound card replaced by ADEVICE stdin null, since CI
# has none) and transmits its beacon, and decode_aprs must read the weather
# back from the packet. Then the same without a report, whose packet the
# recipe documents.
set -euo pipefail
cd "$(dirname "$0")/../.."

if ! command -v direwolf >/dev/null || ! command -v decode_aprs >/dev/null; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq direwolf
fi
export LC_ALL=C.UTF-8

# shellcheck source=.ci/common.sh
. .ci/common.sh

cmake --preset release >/dev/null
cmake --build --preset release
recipe=contrib/direwolf/brinok-beacon.conf
grep -q '^ADEVICE ' "$recipe" || fail "$recipe sets no ADEVICE"
sed 's/^ADEVICE .*/ADEVICE stdin null/' "$recipe" >"$work/direwolf.conf"

# Runs direwolf on $work/direwolf.conf with the station folder given (or none)
# at the recipe's /var/lib/brinok, and prints the one packet it transmitted.
# It runs in namespaces of its own: a tmpfs over /var/lib there holds the
# folder without touching the machine's, and a private network keeps its
# AGW and KISS ports off the machine's. Its standard input is the silence
# it receives; the beacon goes out 2 s after the start, and at the end of
# the input, after 5 s, it exits.
beacon() {
  # shellcheck disable=SC2016 # expanded by the inner shell
  unshare --mount --net bash -c '
    set -euo pipefail
    mount -t tmpfs tmpfs /var/lib
    if [ -n "$1" ]; then cp -r "$1" /var/lib/brinok; fi
    sleep 5 | timeout 30 direwolf -c "$2" -t 0 -q hd
  ' _ "$1" "$work/direwolf.conf" >"$work/direwolf.log" 2>&1 ||
    { cat "$work/direwolf.log" >&2; fail "direwolf failed"; }
  local packets
  packets=$(sed -n 's/^\[0L\] //p' "$work/direwolf.log")
  if [ -z "$packets" ] || [ "$(wc -l <<<"$packets")" -ne 1 ]; then
    cat "$work/direwolf.log" >&2
    fail "direwolf sent not one packet"
  fi
  echo "$packets"
}

echo "-- a published report"
station="$work/station"
mkdir "$station"
printf '%s\r\n' 270 5 12 68.5 0.12 1013.2 55 >"$station/QQ9QQ-7.Log"
brinok="$PWD/build/release/brinok"
(cd "$station" && "$brinok") || fail "brinok did not publish a report"
data=$(sed -n 2p "$station/BRINOK.TXT" | tr -d '\r')
[ "$data" = 270/005g012t068P012b10132h55 ] || fail "brinok wrote '$data'"
packet=$(beacon "$station")
echo "direwolf sent: $packet"
[[ "$packet" =~ ^N0CALL-13\>APDW[0-9]+:!4237\.14N/07120\.83W_"$data"$ ]] ||
  fail "the packet is not the position and weather report"
# decode_aprs colours its output for a terminal; the colours go.
decoded=$(decode_aprs <<<"$packet" 2>&1 | sed 's/\x1b\[[0-9;]*[A-Za-z]//g' |
  grep -v '^$')
echo "decode_aprs read:"
sed 's/^/  /' <<<"$decoded"
weather=$(tail -n 1 <<<"$decoded")
for field in 'wind [0-9.]+ mph' 'direction 270' 'gust 12' 'temperature 68' \
  'rain 0\.12 since midnight' 'barometer 29\.92' 'humidity 55'; do
  [[ "$weather" =~ (^|, )$field(,|$) ]] ||
    fail "decode_aprs did not read '$field'"
done
# Anything it could not read would be left over in the quotes at the end.
[[ "$weather" == *', ""' ]] || fail "decode_aprs left part of the report unread"

echo "-- no report yet"
empty="$work/empty"
mkdir "$empty"
packet=$(beacon "$empty")
echo "direwolf sent: $packet"
[[ "$packet" =~ ^N0CALL-13\>APDW[0-9]+:!4237\.14N/07120\.83W_$ ]] ||
  fail "without a report, the packet is not the bare position"
grep -qxF "#   $packet" "$recipe" ||
  fail "$recipe does not show the packet sent without a report: $packet"

echo "direwolf recipe: all checks passed"
