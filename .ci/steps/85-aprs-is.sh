#!/usr/bin/env bash
# The weather on APRS-IS: direwolf (beacon and IGate recipes) and aprx, as
# shipped but for the server and direwolf's sound card, log in to a listener
# that answers as a server does (aprx, which refuses N0CALL, as the CWOP
# station its recipe shows). A report 10 minutes old, or none, must give
# direwolf's position alone and nothing from aprx. Both send at 30 s.
# shellcheck source=.ci/common.sh
. "$(dirname "$0")/../common.sh"
# shellcheck source=.ci/aprs.sh
. .ci/aprs.sh
cat >"$work/listener.py" <<'PY'
import socketserver, sys
out = open(sys.argv[1], 'a', buffering=1)
class Client(socketserver.StreamRequestHandler):
    def handle(self):
        for line in self.rfile:
            w = line.decode('latin-1').rstrip('\r\n').split(' ')
            print(*w, file=out)
            if w[0] == 'user' and len(w) > 1:  # the APRS-IS passcode of the call
                h, c = 0x73E2, w[1].split('-')[0].upper() + '\0'
                for i in range(0, len(c) - 1, 2): h ^= ord(c[i]) << 8 | ord(c[i + 1])
                answer = '# logresp %s %sverified, server LOOPBACK' % (
                    w[1], '' if w[2:4] == ['pass', str(h & 0x7FFF)] else 'un')
                self.wfile.write(answer.encode() + b'\r\n')
                print('sent: ' + answer, file=out)
server = socketserver.ThreadingTCPServer(('127.0.0.1', 14580), Client)
print('listening', file=out)
server.serve_forever()
PY
sed 's/^IGSERVER .*/IGSERVER 127.0.0.1/' contrib/direwolf/brinok-igate.conf >>"$work/direwolf.conf"
sed -e 's/^server .*/server 127.0.0.1 14580/' -e 's/^mycall .*/mycall CW0000/' \
  -e 's/^passcode .*/passcode -1/' contrib/aprx/brinok-aprx.conf >"$work/aprx.conf"
[ "$(grep -cx -e '# *mycall CW0000' -e '# *passcode -1' "$work/aprx.conf")" = 2 ] ||
  fail "contrib/aprx/brinok-aprx.conf shows no CWOP login"

# Session $1 runs the command $3 on the station folder $2, with aprx's beacon
# script installed as its recipe says and the listener recording $work/$1.is.
session() {
  # shellcheck disable=SC2016 # expanded by the inner shell
  in_station "$2" 'mkdir /var/log/aprx
    install -m 0755 contrib/aprx/brinok-aprx-beacon /usr/local/bin/
    timeout 60 python3 "$1" "$2" & listener=$!
    for _ in $(seq 50); do [ -s "$2" ] && break; sleep 0.1; done
    status=0; eval "$3" || status=$?; kill $listener; exit $status' \
    "$work/listener.py" "$work/$1.is" "$3" >"$work/$1.log" 2>&1 ||
    { cat "$work/$1.log" >&2; fail "session $1 failed"; }
}
# A report; the same 10 minutes old; a folder without.
mkdir "$work/fresh" "$work/none"
printf '%s\r\n' 225 8 15 -3.5 0.25 1008.4 82 >"$work/fresh/QQ9QQ-7.Log"
publish "$work/fresh"
cp -a "$work/fresh" "$work/stale" && touch -d '10 minutes ago' "$work/stale/BRINOK.TXT"
pids=()
for station in fresh stale none; do
  session "dw-$station" "$work/$station" "sleep 34 | timeout 50 $direwolf" & pids+=($!)
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
}
dw='N0CALL-13>APDW[0-9]+,qAO,N0CALL-13:' aprx='CW0000>APRX[0-9]+,TCPIP\*,qAS,CW0000:'
expect dw-fresh N0CALL-13 13023 verified "$dw$position$line"
expect aprx-fresh CW0000 -1 unverified "$aprx$position$line"
for station in stale none; do
  expect "dw-$station" N0CALL-13 13023 verified "$dw$position"
  expect "aprx-$station" CW0000 -1 unverified ''
  grep -q 'nothing read from exec pipe' "$work/aprx-$station.log" ||
    fail "aprx-$station did not run the beacon script"
done
# decode_aprs takes the speed for knots (8 is 9.2 mph); -3.5 F is rounded
# down, 1008.4 hPa given in inches of mercury.
for client in dw aprx; do
  decoded "$(grep "$position" "$work/$client-fresh.is")" \
    'wind 9.2 mph, direction 225, gust 15, temperature -4, rain 0.25 since midnight, barometer 29.78, humidity 82, ""'
done
