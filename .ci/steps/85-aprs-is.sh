#!/usr/bin/env bash
# The weather on APRS-IS: direwolf (contrib/direwolf/, beacon and IGate
# lines) and aprx (contrib/aprx/) connect, as shipped but for the server's
# name and direwolf's sound card, to a listener on the loopback of private
# network namespaces; aprx, which refuses N0CALL, logs in as the CWOP
# station its recipe shows. The listener answers the login as a server does
# and records every line; decode_aprs must read the weather back. A report
# 10 minutes old, or none, gives direwolf's position alone and nothing from
# aprx. All sessions run at once; both clients send at 30 s.
# shellcheck source=.ci/common.sh
. "$(dirname "$0")/../common.sh"
export LC_ALL=C.UTF-8

cmake --workflow --preset release && brinok="$PWD/build/release/brinok"
cat >"$work/listener.py" <<'EOF'
import socketserver, sys
out = open(sys.argv[1], 'a', buffering=1)
def passcode(call):
    h, c = 0x73E2, call.split('-')[0].upper() + '\0'
    for i in range(0, len(c) - 1, 2): h ^= ord(c[i]) << 8 | ord(c[i + 1])
    return h & 0x7FFF
class Client(socketserver.StreamRequestHandler):
    def handle(self):
        for line in self.rfile:
            w = line.decode('latin-1').rstrip('\r\n').split(' ')
            print(' '.join(w), file=out)
            if w[0] == 'user' and len(w) > 1:
                answer = '# logresp %s %sverified, server LOOPBACK' % (
                    w[1], '' if w[2:4] == ['pass', str(passcode(w[1]))] else 'un')
                self.wfile.write(answer.encode() + b'\r\n')
                print('sent: ' + answer, file=out)
server = socketserver.ThreadingTCPServer(('127.0.0.1', 14580), Client)
print('listening', file=out)
server.serve_forever()
EOF
sed 's/^ADEVICE .*/ADEVICE stdin null/' contrib/direwolf/brinok-beacon.conf >"$work/dw.conf"
sed 's/^IGSERVER .*/IGSERVER 127.0.0.1/' contrib/direwolf/brinok-igate.conf >>"$work/dw.conf"
sed -e 's/^server .*/server 127.0.0.1 14580/' -e 's/^mycall .*/mycall CW0000/' \
  -e 's/^passcode .*/passcode -1/' contrib/aprx/brinok-aprx.conf >"$work/aprx.conf"
[ "$(grep -cx -e '# *mycall CW0000' -e '# *passcode -1' "$work/aprx.conf")" = 2 ] ||
  fail "contrib/aprx/brinok-aprx.conf shows no CWOP login"

# Session $1: the command $3 in namespaces of its own with the listener
# (recording into $work/$1.is), the station folder $2 at /var/lib/brinok,
# the beacon script installed as the recipe says; output in $work/$1.log.
session() {
  # shellcheck disable=SC2016 # expanded by the inner shell
  unshare --mount --net bash -c '
    set -euo pipefail
    ip link set lo up
    for dir in /var/lib /var/log /run /usr/local/bin; do mount -t tmpfs tmpfs $dir; done
    mkdir /var/log/aprx && cp -a "$2" /var/lib/brinok
    install -m 0755 contrib/aprx/brinok-aprx-beacon /usr/local/bin/
    timeout 60 python3 "$3" "$1.is" & listener=$!
    for _ in $(seq 50); do [ -s "$1.is" ] && break; sleep 0.1; done
    status=0; eval "$4" || status=$?; kill $listener; exit $status
  ' _ "$work/$1" "$2" "$work/listener.py" "$3" >"$work/$1.log" 2>&1 ||
    { cat "$work/$1.log" >&2; fail "session $1 failed"; }
}
# A report converted by brinok; the same 10 minutes old; a folder without.
mkdir "$work/fresh" "$work/none" && printf '%s\r\n' 225 8 15 -3.5 0.25 1008.4 82 \
  >"$work/fresh/QQ9QQ-7.Log"
(cd "$work/fresh" && "$brinok") || fail "brinok did not publish"
line=$(sed -n 2p "$work/fresh/BRINOK.TXT" | tr -d '\r')
cp -a "$work/fresh" "$work/stale" && touch -d '10 minutes ago' "$work/stale/BRINOK.TXT"
pids=()
for station in fresh stale none; do
  session "dw-$station" "$work/$station" \
    "sleep 34 | timeout 50 direwolf -c $work/dw.conf -t 0 -q hd" & pids+=($!)
  session "aprx-$station" "$work/$station" \
    "timeout 34 aprx -d -f $work/aprx.conf || [ \$? -eq 124 ]" & pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid" || fail "a session failed"; done

# Session $1 logged in as $2 with passcode $3, was answered $4 and sent the
# packets $5 (a regular expression; none if empty).
expect() {
  local packets
  grep -Eqx "user $2 pass $3 vers .+" "$work/$1.is" || fail "$1: no login"
  grep -qx "sent: # logresp $2 $4, server LOOPBACK" "$work/$1.is" || fail "$1: not $4"
  packets=$(grep -v -e '^user ' -e '^sent: ' -e '^listening$' -e '^#' "$work/$1.is") || true
  [[ -z $5 && -z $packets ]] || [[ -n $5 && $packets =~ ^$5$ ]] ||
    fail "$1 sent '$packets', not '$5'"
  echo "$1: $(grep -m1 '^user ' "$work/$1.is") -> $4; ${packets:-no packet}"
}
position='!4237\.14N/07120\.83W_'
dw='N0CALL-13>APDW[0-9]+,qAO,N0CALL-13:' aprx='CW0000>APRX[0-9]+,TCPIP\*,qAS,CW0000:'
expect dw-fresh N0CALL-13 13023 verified "$dw$position$line"
expect aprx-fresh CW0000 -1 unverified "$aprx$position$line"
for station in stale none; do
  expect "dw-$station" N0CALL-13 13023 verified "$dw$position"
  expect "aprx-$station" CW0000 -1 unverified ''
  grep -q 'nothing read from exec pipe' "$work/aprx-$station.log" ||
    fail "aprx-$station did not run the beacon script"
done
# The log's values as decode_aprs reads them: the speed taken for knots (8
# is 9.2 mph), -3.5 F rounded down, 1008.4 hPa in inches of mercury.
for client in dw aprx; do
  weather=$(grep "$position" "$work/$client-fresh.is" | decode_aprs 2>&1 |
    sed 's/\x1b\[[0-9;]*[A-Za-z]//g' | grep -v '^$' | tail -n 1)
  echo "decode_aprs read from $client's packet: $weather"
  [ "$weather" = 'wind 9.2 mph, direction 225, gust 15, temperature -4, rain 0.25 since midnight, barometer 29.78, humidity 82, ""' ] ||
    fail "decode_aprs did not read the weather of $line"
done
echo "APRS-IS: direwolf and aprx send only current weather"
