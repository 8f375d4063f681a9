#!/usr/bin/env bash
# The operator's way on a weather station, in a booted systemd (.ci/sandbox.sh): apt install, then
# brinok-setup as docs/linux.md gives it, pywws-livelog reading the simulated station of
# tests/station through pywws's own USB layer, brinok's units, direwolf beaconing. Every record
# the station logs goes on the air while current; unplugged, the beacon falls back to the position
# alone and the journal says why; after the clock stepped back, brinok-setup clock recovers pywws;
# brinok-setup pywws failing (no station) leaves pywws running; an upgrade refreshes its copies.
# It waits on the station's clocks for minutes: .ci/run runs it beside the other steps, with the
# .deb it made as $1 (without it, the step makes one).
# shellcheck source=.ci/common.sh
. "$(dirname "$0")/common.sh"
. .ci/sandbox.sh
# Whether CMD... prints anything.
prints() { [ -n "$("$@")" ]; }
# The lines of unit $1's journal since the time $2 (seconds since 1970) matching $3.
since() { journal -u "$1" --since "@$2" | grep -E -- "$3" || true; }
station() { sandbox_run /usr/bin/python3 /opt/station/station.py "$1" /run/station/usb "${@:2}"; }
plug() {
  sandbox_run systemd-run --quiet --unit=station --collect /usr/bin/python3 \
    /opt/station/station.py serve /run/station/usb --mode 0666 "$@" wind_ave=4.5 \
    wind_gust=11.2 wind_dir=12 hum_out=55 abs_pressure=1000.0 rain=100.0
  poll 10 sandbox_run test -S /run/station/usb || fail "the station did not come up"
}

sandbox_station "${1:-}"
# The station on USB: its memory with 70 records logged every 30 minutes, as from the factory, and
# pywws's service and commands reaching it through the stand-in for the USB library.
tar -C tests/station -c station.py usb1.py libusb1.py |
  sandbox_run sh -c 'mkdir /opt/station /run/station && tar -x -C /opt/station'
plug --history 70
printf '[Service]\nEnvironment=PYTHONPATH=/opt/station BRINOK_STATION_SOCKET=%s\n' \
  /run/station/usb | sandbox_run sh -c 'mkdir /run/systemd/system/brinok-pywws.service.d &&
  cat >/run/systemd/system/brinok-pywws.service.d/station.conf && systemctl daemon-reload'
start=$(date +%s)
usb=(env PYTHONPATH=/opt/station BRINOK_STATION_SOCKET=/run/station/usb)
# The operator's first look at the station: its fixed block, the magic number first.
sandbox_run "${usb[@]}" pywws-testweatherstation | grep -q '^0000 55 aa ' ||
  fail "pywws-testweatherstation does not show the station's memory"
sandbox_run "${usb[@]}" brinok-setup pywws 1080 1 || fail "brinok-setup pywws failed"
[[ $(station show) == "interval 1 min,"* ]] ||
  fail "the station does not log every minute: $(station show)"
sandbox_run brinok-setup position 4237.14N 07120.83W >/dev/null
sandbox_run systemctl unmask --quiet direwolf.service
sandbox_run brinok-setup direwolf N0CALL-13 none >/dev/null
# A beacon every 15 s instead of 10 minutes, so that each report of the 1-minute interval is seen.
sandbox_run sh -c "sed -i 's/ every=10 / every=0:15 /' /etc/direwolf.conf &&
  systemctl restart direwolf"
# The weather changes at every sensor update, so that each record's data line is its own.
(for t in $(seq -20 0.5 40); do station set "temp_out=$t" >/dev/null; sleep 10; done) &
weather=$!

# Each report as it is published: its time (its reading's) and its data line.
report() { sandbox_run sh -c 'cd /var/lib/brinok && stat -c %.9Y BRINOK.TXT &&
  sed -n 2p BRINOK.TXT | tr -d "\r"' 2>/dev/null | xargs; }
new_report() {
  got=$(report) && [[ -n $got && $got != "$(tail -n 1 "$work/reports" 2>/dev/null)" ]] &&
    echo "$got" >>"$work/reports"
}
wait_for 240 new_report ||
  fail "no report 4 minutes after pywws started: $(journal -u brinok-pywws | tail -n 30)"
first=$(station show | awk '{ print $4 }')
echo "first report $(($(date +%s) - start)) s after brinok-setup pywws began"
# Over two logging intervals and more, each record a report; then unplugged at once.
while [ "$(wc -l <"$work/reports")" -lt 4 ]; do
  wait_for 90 new_report || fail "no report for 90 s: $(journal -u brinok-pywws | tail -n 20)"
done
last=$(station show | awk '{ print $4 }')
unplugged=$(date +%s)
sandbox_run systemctl stop station
kill "$weather"
reports=$(wc -l <"$work/reports")
((last - first + 1 == reports)) ||
  fail "the station logged $((last - first + 1)) records, brinok published $reports reports"

# Unplugged: pywws ends, then tries once a minute, saying why; the beacon sends the position alone
# once the last reading is twice the interval old.
bare() { since direwolf "$unplugged" '\[0L\] .*_$' | head -n 1; }
wait_for 200 prints bare || fail "no beacon without weather 200 s after unplugging"
bare_after=$(($(bare | cut -d. -f1) - unplugged))
wait_for 70 prints since brinok-pywws "$unplugged" 'Weather station device not found' ||
  fail "pywws's journal does not say the station is gone: $(journal -u brinok-pywws | tail)"
# One try a minute, never a loop.
tries=$(since brinok-pywws "$unplugged" 'Weather station device not found' | wc -l)
((tries <= 1 + ($(date +%s) - unplugged) / 59)) ||
  fail "brinok-pywws.service tried $tries times in $(($(date +%s) - unplugged)) s"

# The watch says once that no weather goes out, with pywws's last word; brinok-status agrees.
wait_for 70 prints since brinok-watch "$unplugged" 'no weather on the air' ||
  fail "brinok-watch did not say that no weather goes out: $(journal -u brinok-watch | tail)"
status_off=$(sandbox_run brinok-status) && fail "brinok-status ended 0 without weather: $status_off"

# Every report went on the air, each packet within the rule: younger than twice the interval.
journal -u direwolf | sed -n 's/^\([0-9.]*\) .*\[0L\] \(.*\)$/\1 \2/p' >"$work/packets"
oldest=0
# The packets that carry the data line $1, with their times.
carrying() { awk -v l="_$1" 'substr($2, length($2) - length(l) + 1) == l' "$work/packets"; }
while read -r time line; do
  [ -n "$(carrying "$line")" ] || fail "the report $line never went on the air"
  while read -r sent packet; do
    age=$(awk -v a="$sent" -v b="$time" 'BEGIN { printf "%d", a - b }')
    ((age < 120)) || fail "$line went on the air $age s after its reading"
    ((age <= oldest)) || oldest=$age
    decode_aprs <<<"$packet" | grep -q temperature || fail "decode_aprs could not read $packet"
  done < <(carrying "$line")
done <"$work/reports"
echo "records logged: $reports, reports published: $reports," \
  "packets with weather: $(grep -vc '_$' "$work/packets"), oldest reading on the air: $oldest s," \
  "position alone $bare_after s after unplugging"

# The clock stepped back 2 hours: pywws's newest record is ahead of it, and pywws refuses to start
# until the clock passes it; brinok-setup clock deletes it and starts pywws again.
sandbox_run systemctl stop brinok-pywws
# shellcheck disable=SC2016 # expanded by the shell in the sandbox
sandbox_run runuser -u pywws -- bash -c 'cd /var/lib/pywws/raw && file=$(ls -d */*/* | tail -n 1) &&
  ahead=$(date -u -d "2 hours" "+%F %T") && mkdir -p "${ahead:0:4}/${ahead:0:7}" &&
  tail -n 1 "$file" | sed "s/^[^,]*/$ahead/" >>"${ahead:0:4}/${ahead:0:7}/${ahead:0:10}.txt"'
plug --period 1 --history 70
stepped=$(date +%s)
sandbox_run systemctl start brinok-pywws
wait_for 30 prints since brinok-pywws "$stepped" 'Computer time is earlier than last stored data' ||
  fail "pywws started with a record ahead of the clock: $(journal -u brinok-pywws | tail)"
said=$(sandbox_run brinok-setup clock 2>&1) || fail "brinok-setup clock failed: $said"
[[ $said == *"1 records dated after"* ]] || fail "brinok-setup clock said: $said"
wait_for 240 new_report || fail "no report 4 minutes after brinok-setup clock"
echo "a report $(($(date +%s) - stepped)) s after pywws met a record 2 hours ahead"
# And the watch says once that weather goes out again: one warning, one notice, nothing between.
wait_for 70 prints since brinok-watch "$unplugged" 'weather on the air again' ||
  fail "brinok-watch did not say that weather goes out again: $(journal -u brinok-watch | tail)"
watched=$(journal -u brinok-watch --since "@$unplugged" -p notice -o cat)
mapfile -t watch_lines <<<"$watched"
[[ ${#watch_lines[@]} -eq 2 && ${watch_lines[0]} == "no weather on the air"* &&
  ${watch_lines[1]} == "weather on the air again"* ]] ||
  fail "brinok-watch said, since the station was unplugged: $watched"
status_on=$(sandbox_run brinok-status) || fail "brinok-status ended 1 with weather: $status_on"
printf 'brinok-watch, unplugged to plugged again:\n%s\nbrinok-status without weather:\n%s\n' \
  "$watched" "$status_off"
printf 'brinok-status with weather:\n%s\n' "$status_on"

# brinok-setup pywws when the station does not answer (without the stand-in's socket, as if
# unplugged): status 1, its files as before, and pywws, stopped to reach the station, running again.
sandbox_run systemctl -q is-active brinok-pywws || fail "brinok-pywws is not running"
files=(/etc/default/brinok /var/lib/pywws/weather.ini /etc/udev/rules.d/60-brinok-weather-station.rules)
before=$(sandbox_run sha256sum "${files[@]}")
status=0
said=$(sandbox_run brinok-setup pywws 1080 5 2>&1) || status=$?
[[ $status -eq 1 && $said == *"brinok-pywws.service, as it was, started again"* ]] ||
  fail "brinok-setup pywws without the station: status $status, said: $said"
[ "$(sandbox_run sha256sum "${files[@]}")" = "$before" ] ||
  fail "brinok-setup pywws without the station changed its files"
sandbox_run systemctl -q is-active brinok-pywws || fail "brinok-pywws is not running again"
echo "brinok-setup pywws without the station: status 1, saying:"
echo "  ${said//$'\n'/$'\n'  }"

# An upgrade gives pywws this version's service, and starts pywws again.
module=/var/lib/pywws/modules/brinok.py
sandbox_run sh -c "echo '# the version before' >>$module"
pid=$(sandbox_run systemctl show -P MainPID brinok-pywws)
sandbox_run apt-get install -qq --reinstall /root/brinok.deb >/dev/null
sandbox_run cmp -s /usr/share/brinok/pywws/brinok.py "$module" ||
  fail "the upgrade left pywws the service of the version before"
sandbox_run systemctl -q is-active brinok-pywws || fail "pywws is not running after the upgrade"
[[ $(sandbox_run systemctl show -P MainPID brinok-pywws) != "$pid" ]] ||
  fail "the upgrade did not start pywws again"
