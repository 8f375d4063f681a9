# shellcheck shell=bash disable=SC2034,SC2154 # for the steps; work from common.sh
# What 80-direwolf.sh and 85-aprs-is.sh share; source it after common.sh.
export LC_ALL=C.UTF-8
cmake --workflow --preset release
brinok="$PWD/build/release/brinok"
# The beacon recipe but for the sound card, which CI lacks: direwolf hears
# the silence on its input, beacons at 2 s and exits when the input ends.
recipe=contrib/direwolf/brinok-beacon.conf
grep -q '^ADEVICE ' "$recipe" || fail "$recipe sets no ADEVICE"
sed 's/^ADEVICE .*/ADEVICE stdin null/' "$recipe" >"$work/direwolf.conf"
direwolf="direwolf -c $work/direwolf.conf -t 0 -q hd"
# The recipe's position and weather symbol, which the data line follows.
position='!4237\.14N/07120\.83W_'

# Runs the script $2 (its arguments after it) in namespaces of its own: the
# station folder $1 at the recipes' /var/lib/brinok, tmpfs over the folders
# the programs write, a private network (its loopback up) for their ports.
in_station() {
  # shellcheck disable=SC2016 # expanded by the inner shell
  unshare --mount --net bash -c 'set -euo pipefail
    ip link set lo up
    for dir in /var/lib /var/log /run /usr/local/bin; do mount -t tmpfs tmpfs $dir; done
    cp -a "$0" /var/lib/brinok
    '"$2" "$1" "${@:3}"
}
# Runs brinok in the folder $1; sets $line, the report's data line.
publish() {
  (cd "$1" && "$brinok") || fail "brinok did not publish in $1"
  line=$(sed -n 2p "$1/BRINOK.TXT" | tr -d '\r')
}
# Fails unless decode_aprs reads the packet $1 as $2: its last line, less
# the colours it gives a terminal, nothing left unread in its quotes.
decoded() {
  local got
  got=$(decode_aprs <<<"$1" 2>&1 | sed 's/\x1b\[[0-9;]*[A-Za-z]//g' | grep -v '^$' | tail -n 1)
  [ "$got" = "$2" ] || fail "decode_aprs read '$got' from $1, not '$2'"
}
