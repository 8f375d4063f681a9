#!/usr/bin/env bash
# The Linux station end to end: pywws's weather log, brinok's report, decode_aprs reading it back;
# direwolf and aprx, as brinok-setup sets them up, sending it on the radio and to APRS-IS.
# shellcheck source=.ci/common.sh
. "$(dirname "$0")/../common.sh"
export LC_ALL=C.UTF-8
cmake --workflow --preset release
brinok="$PWD/build/release/brinok"
position='!4237\.14N/07120\.83W_' # the recipes' position and weather symbol, a regular expression
recipe=contrib/direwolf/brinok-beacon.conf
# The recipes as brinok-setup writes them, but for the servers and the sound card (direwolf waits
# for sound on a UDP port, as with brinok-setup direwolf CALL none); aprx logs in as a CWOP
# station. Both send at 30 s.
sed -e 's/^ADEVICE .*/ADEVICE udp:7355 null/' -e 's/^IGSERVER .*/IGSERVER 127.0.0.1/' "$recipe" \
  contrib/direwolf/brinok-igate.conf >"$work/dw.conf"
sed -e 's/^server .*/server 127.0.0.1 14580/' -e 's/^mycall .*/mycall CW0000/' \
  -e 's/^passcode .*/passcode -1/' contrib/aprx/brinok-aprx.conf >"$work/aprx.conf"
printf "STATION='/var/lib/brinok'\nPOSITION='4237.14N/07120.83W'\nMAX_AGE='10'\n" >"$work/settings"
listener='import socket
server = socket.create_server(("127.0.0.1", 14580))
print("# listening")  # the session waits for a line
for client, _ in iter(server.accept, None):  # one connection after another, until killed
    for w in (line.decode("latin-1").rstrip("\r\n").split(" ") for line in client.makefile("rb")):
        print(*w)
        if w[0] == "user" and len(w) > 1:  # the APRS-IS passcode of the call
            h, c = 0x73E2, w[1].split("-")[0].upper() + "\0"
            for i in range(0, len(c) - 1, 2): h ^= ord(c[i]) << 8 | ord(c[i + 1])
            ok = w[2:4] == ["pass", str(h & 0x7FFF)]
            answer = "# logresp %s %sverified, server LOOPBACK" % (w[1], "" if ok else "un")
            client.sendall(answer.encode() + b"\r\n")
            print("sent: " + answer)'
# A report, fresh (its data line checked by expect_line), from a log kept through a 20-minute
# power cut, 3 hours ahead (as after the clock stepped back) or none, each served by direwolf and
# by aprx in namespaces of their own: the station folder at /var/lib/brinok, tmpfs over the
# folders the programs write and an overlay on /etc, aprs-weather and its settings installed, a
# private network where the listener answers logins as a server does, recording in
# $work/SESSION.is. They run while
# pywws works below; the scratch folder stays until they end.
fresh=225/008g015t-04P025b10084h82
lines=$'225\n8\n15\n-3.5\n0.25\n1008.4\n82'
expect_line "$fresh" "$lines" "$brinok"
mv "$work"/run.* "$work/fresh" && mkdir "$work/none" "$work/kept" # expect_line's folder
printf '%s\r\n' "${lines//$'\n'/$'\r\n'}" >"$work/kept/QQ9QQ-7.Log"
touch -d '20 minutes ago' "$work/kept/QQ9QQ-7.Log"
(cd "$work/kept" && "$brinok") || fail "the kept log was not converted"
cp -a "$work/fresh" "$work/ahead" && touch -d '3 hours' "$work/ahead/BRINOK.TXT"
trap 'wait; rm -rf "$work"' EXIT
declare -A run=([dw]="timeout 34 direwolf -c $work/dw.conf -t 0 -q hd || [ \$? -eq 124 ]"
  [aprx]="timeout 34 aprx -d -f $work/aprx.conf || [ \$? -eq 124 ]")
for session in {dw,aprx}-{fresh,kept,ahead,none}; do
  # shellcheck disable=SC2016 # expanded by the inner shell
  unshare --mount --net bash -c 'set -euo pipefail
    ip link set lo up
    for dir in /var/lib /var/log /run; do mount -t tmpfs tmpfs $dir; done
    mkdir /run/etc /run/etc.work
    mount -t overlay overlay -o lowerdir=/etc,upperdir=/run/etc,workdir=/run/etc.work /etc
    cp -a "$0" /var/lib/brinok && mkdir /var/log/aprx
    install -D contrib/linux/aprs-weather /etc/brinok/aprs-weather
    cp "$4" /etc/default/brinok
    timeout 60 python3 -u -c "$1" >"$2" & listener=$!
    for _ in $(seq 50); do [ -s "$2" ] && break; sleep 0.1; done
    status=0; eval "$3" || status=$?; kill $listener; exit $status' "$work/${session#*-}" \
    "$listener" "$work/$session.is" "${run[${session%-*}]}" "$work/settings" \
    >"$work/$session.log" 2>&1 ||
    { cat "$work/$session.log" >&2; fail "session $session failed"; } & pids+=($!)
done

# Fails unless decode_aprs's last line on the packet $1, less its colours, is the words $2....
decoded() {
  got=$(decode_aprs <<<"$1" 2>&1 | sed 's/\x1b\[[0-9;]*[A-Za-z]//g' | grep -v '^$' | tail -n 1)
  [ "$got" = "${*:2}" ] || fail "decode_aprs read '$got' from $1, not '${*:2}'"
}
# pywws's data store, set up with merge.py as the README says, twice (as its block may be run
# again). Raw records: wind in m/s, temperatures in C, the rain counter in mm, the absolute
# pressure in hPa (the offset is added), the direction in sixteenths; empty, no such sensor.
data="$work/pywws" station="$work/station" log="$work/station/QQ9QQ-7.Log"
mkdir -p "$data" "$station"
printf '[config]\npressure offset = 13.2\n[paths]\nwork = %s\n' "$data/work" >"$data/weather.ini"
for _ in 1 2; do
  /usr/bin/python3 contrib/pywws/merge.py "$data" "$station" >/dev/null || fail "merge.py failed"
done
[ "$(grep -cxF -e "services = [('brinok', 'QQ9QQ-7.Log')]" -e "directory = $station" \
  "$data/weather.ini")" = 2 ] || fail "merge.py made: $(cat "$data/weather.ini")"
cmp -s contrib/pywws/QQ9QQ-7.Log "$data/templates/QQ9QQ-7.Log" || fail "merge.py copied no template"
printf '[fixed]\nfixed block = {}\n' >"$data/status.ini"
# Stamp N is N seconds from now, in UTC. The day's rain counts from the record nearest midnight,
# so the step keeps a few minutes clear of it.
while hhmm=$((10#$(date -u +%H%M))) && ((hhmm > 2356 || hhmm < 6)); do sleep 10; done
stamp() { date -u -d "@$(($(date +%s) + $1))" '+%F %T'; }
append() { local d="$data/raw/${1:0:4}/${1:0:7}"; mkdir -p "$d" && echo "$1" >>"$d/${1:0:10}.txt"; }
# The station's first contact: midnight's rain counter, 100.0 mm, starts the day's rain; pywws
# makes no log before it has summed up an hour, hence the record an hour before.
midnight=$(date -u '+%F 00:00:00')
append "$(date -u -d "$midnight 65 min ago" '+%F %T'),5,40,20.0,60,-20.0,1000.0,3.0,8.0,12,100.0,0"
append "$midnight,5,40,20.0,60,-15.0,1000.0,1.0,2.0,8,100.0,0"
# Appends the raw record $1 and runs what pywws-livelog runs after each record: processing, then
# the template and the service. Then the log must be seven CR LF lines, which brinok converts to
# the data line $2, decode_aprs reading the packet of the position and that line as $3...; or,
# with $2 empty, no log is placed, pywws's log gives the reason $3, the report is unchanged.
record() {
  [ -n "$2" ] || before=$(stat -c %Y.%y "$station/BRINOK.TXT")
  append "$1"
  TZ=UTC /usr/bin/python3 -c 'import sys; from pywws import logger, storage, process, regulartasks
logger.setup_handler(0)
with storage.pywws_context(sys.argv[1]) as context:
    process.process_data(context)
    regulartasks.RegularTasks(context).do_tasks()' "$data" 2>"$work/pywws.log" ||
    { cat "$work/pywws.log" >&2; fail "pywws failed"; }
  if [ -z "$2" ]; then
    [ ! -e "$log" ] || fail "record $1: pywws placed $(tr '\r\n' ' |' <"$log")"
    grep -qF "QQ9QQ-7.Log not placed: not current: $3" "$work/pywws.log" ||
      { cat "$work/pywws.log" >&2; fail "record $1: pywws's log does not say '$3'"; }
    [ "$(stat -c %Y.%y "$station/BRINOK.TXT")" = "$before" ] || fail "record $1: the report changed"
    return
  fi
  { [[ -f $log && $(tr -cd '\n' <"$log" | wc -c) -eq 7 ]] && ! grep -qv $'\r$' "$log"; } ||
    fail "record $1: no log of seven CR LF lines: $(od -c "$log" 2>&1 || cat "$work/pywws.log")"
  written=$(tr '\r\n' ' |' <"$log")
  (cd "$station" && "$brinok") || fail "record $1: brinok did not publish"
  line=$(sed -n 2p "$station/BRINOK.TXT" | tr -d '\r')
  [ "$line" = "$2" ] || fail "record $1: data line $line, not $2 (log: $written)"
  decoded "N0CALL-13>APDW16:${position//\\/}$line" "${@:3}"
}

# Gusts, below 0 F, rain since midnight, 4 m 30 s old (30 s to spare on a busy machine): 4.5 m/s
# is 10 mph (decode_aprs takes it for knots), 11.2 m/s 25 mph, direction 12 of 16 270, -21.3 C -6 F,
# 3.3 mm 0.13 in, 1013.2 hPa.
good=$(stamp -270)
text=('wind 11.5 mph, direction 270, gust 25, temperature -6, rain 0.13 since midnight,'
  'barometer 29.92, humidity 55, ""')
record "$good,5,40,20.0,55,-21.3,1000.0,4.5,11.2,12,103.3,0" 270/010g025t-06P013b10132h55 \
  "${text[@]}"
# Once it is 5 minutes old, records without indoor temperature, pressure or rain, invalid to pywws.
while [ $(($(date +%s) - $(date -u -d "$good" +%s))) -le 301 ]; do sleep 0.5; done
for record in "$(stamp -8),5,40,,95,-8.0,1000.0,8.9,11.0,4,103.3,0" \
  "$(stamp -7),5,40,20.0,95,-8.0,,8.9,11.0,4,103.3,0" \
  "$(stamp -6),5,40,20.0,95,-8.0,1000.0,8.9,11.0,4,,0"; do
  record "$record" '' "reading of $good UTC, more than 5 minutes old"
done
# Each later than the one before: calm, no temperature or humidity sensor (of humidity's
# no-data "..." one full stop is left unread); wind without a direction, freezing point,
# humidity 100; as the first, but 10.24 inches since midnight, capped at 9.99.
record "$(stamp -5),5,40,20.0,,,1001.5,0.0,0.0,4,103.3,0" .../...g...t...P013b10147h... \
  ', rain 0.13 since midnight, barometer 29.97, "."'
record "$(stamp -4),5,40,20.0,100,0.0,1002.0,2.2,3.1,,104.0,0" .../...g007t032P016b10152h00 \
  ', gust 7, temperature 32, rain 0.16 since midnight, barometer 29.98, humidity 100, ""'
record "$(stamp -3),5,40,20.0,55,-21.3,1000.0,4.5,11.2,12,360.0,0" 270/010g025t-06P999b10132h55 \
  "${text[@]/0.13/9.99}"
# 3 hours ahead, as after the clock stepped back: pywws keeps it and drops later, earlier records.
ahead=$(stamp 10800)
for record in "$ahead,5,40,20.0,55,-21.3,1000.0,4.5,11.2,12,360.0,0" \
  "$(stamp 0),5,40,20.0,50,-20.0,1000.0,4.5,11.2,12,360.0,0"; do
  record "$record" '' "reading of $ahead UTC, ahead of the clock"
done

# Each session logged in (direwolf verified, aprx unverified) and sent the fresh report's weather
# alone, else the position: direwolf one packet on the radio and one to the server, aprx one.
# decode_aprs: knots (8 is 9.2 mph), -3.5 F rounded down, inches of Hg.
for pid in "${pids[@]}"; do wait "$pid" || fail "a session failed"; done
for age in fresh kept ahead none; do
  weather=$([ "$age" != fresh ] || echo "$fresh")
  radio=$(sed -n 's/^\[0L\] //p' "$work/dw-$age.log")
  [[ $radio =~ ^N0CALL-13\>APDW[0-9]+:$position"$weather"$ ]] ||
    fail "dw-$age sent on the radio '$radio', not the position${weather:+ and $weather}"
  while read -r session call pass answer packets; do
    grep -Eqx "user $call pass $pass vers .+" "$work/$session.is" || fail "$session: no login"
    grep -qx "sent: # logresp $call $answer, server LOOPBACK" "$work/$session.is" ||
      fail "$session: not $answer"
    sent=$(grep -v -e '^user ' -e '^sent: ' -e '^#' "$work/$session.is") || true
    [[ $sent =~ ^$packets$ ]] || fail "$session sent '$sent', not '$packets'"
    [ -z "$weather" ] || decoded "$sent" 'wind 9.2 mph, direction 225, gust 15, temperature -4,' \
      'rain 0.25 since midnight, barometer 29.78, humidity 82, ""'
  done <<EOF
dw-$age N0CALL-13 13023 verified N0CALL-13>APDW[0-9]+,qAO,N0CALL-13:$position$weather
aprx-$age CW0000 -1 unverified CW0000>APRX[0-9]+,TCPIP\\*,qAS,CW0000:$position$weather
EOF
done
grep -qxF "#   ${radio#*:}" contrib/linux/aprs-weather ||
  fail "aprs-weather's header does not show the bare packet ${radio#*:}"
[ "$(grep -c "BRINOK.TXT.*No such file" "$work/dw-none.log")" = 2 ] ||
  fail "direwolf's log does not say twice, for the radio and the server, that there is no report"
