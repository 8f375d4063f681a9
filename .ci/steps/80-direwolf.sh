#!/usr/bin/env bash
# The Linux station end to end: pywws, set up with contrib/pywws/, turns raw
# records into the weather log, brinok converts it, direwolf sends it with
# its recipe and decode_aprs must read the weather back. Records are stamped
# from the clock, by which the template judges a reading.
# shellcheck source=.ci/common.sh
. "$(dirname "$0")/../common.sh"
# shellcheck source=.ci/aprs.sh
. .ci/aprs.sh
from='N0CALL-13>APDW[0-9]+:'

# Sets $packet to the one packet direwolf sent from the station folder $1.
beacon() {
  { in_station "$1" "sleep 5 | timeout 30 $direwolf" >"$work/direwolf.log" 2>&1 &&
    [ "$(grep -c '^\[0L\] ' "$work/direwolf.log")" -eq 1 ]; } ||
    { cat "$work/direwolf.log" >&2; fail "direwolf failed or sent not one packet"; }
  packet=$(sed -n 's/^\[0L\] //p' "$work/direwolf.log")
}
# Fails with $2 unless direwolf sends the position alone from the folder $1.
bare() { beacon "$1"; [[ $packet =~ ^$from$position$ ]] || fail "$2: $packet"; }

# pywws's data store, set up with merge.py as the README says, twice (as its block may
# be run again), and what the station would have stored on its first contact. Raw records:
# wind in m/s, temperatures in C, the rain counter in mm, the absolute pressure in hPa (the
# offset is added), the direction in sixteenths; an empty value, a sensor the station lacks.
data="$work/pywws" station="$work/station"
mkdir -p "$data" "$station"
printf '[config]\npressure offset = 13.2\n[paths]\nwork = %s\n' "$work/pywws-work" >"$data/weather.ini"
for _ in 1 2; do
  /usr/bin/python3 contrib/pywws/merge.py "$data" "$station" >/dev/null || fail "merge.py failed"
done
{ grep -qxF "services = [('brinok', 'QQ9QQ-7.Log')]" "$data/weather.ini" &&
  grep -qx "directory = $station" "$data/weather.ini"; } ||
  fail "merge.py made: $(cat "$data/weather.ini")"
cmp -s contrib/pywws/QQ9QQ-7.Log "$data/templates/QQ9QQ-7.Log" ||
  fail "merge.py did not copy the template"
printf '[fixed]\nfixed block = {}\n' >"$data/status.ini"

# Stamp N is N seconds from now, in UTC. The day's rain counts from the
# record nearest midnight, so the step keeps a few minutes clear of it.
near_midnight() { local hhmm=$((10#$(date -u +%H%M))); ((hhmm > 2356 || hhmm < 6)); }
while near_midnight; do sleep 10; done
stamp() { date -u -d "@$(($(date +%s) + $1))" '+%Y-%m-%d %H:%M:%S'; }
append() {
  local dir="$data/raw/${1:0:4}/${1:0:7}"
  mkdir -p "$dir" && echo "$1" >>"$dir/${1:0:10}.txt"
}
# Midnight's rain counter, 100.0 mm, starts the day's rain; pywws makes no
# log before it has summed up an hour, hence the record an hour before.
midnight=$(date -u '+%Y-%m-%d 00:00:00')
append "$(date -u -d "$midnight 65 minutes ago" '+%Y-%m-%d %H:%M:%S'),5,40,20.0,60,-20.0,1000.0,3.0,8.0,12,100.0,0"
append "$midnight,5,40,20.0,60,-15.0,1000.0,1.0,2.0,8,100.0,0"

# Appends the raw record $1 and runs what pywws-livelog runs after each
# record: processing, then the template and the service.
log="$station/QQ9QQ-7.Log"
logged() {
  append "$1"
  TZ=UTC /usr/bin/python3 -c '
import sys, pywws.logger, pywws.storage, pywws.process, pywws.regulartasks
pywws.logger.setup_handler(0)
with pywws.storage.pywws_context(sys.argv[1]) as context:
    pywws.process.process_data(context)
    pywws.regulartasks.RegularTasks(context).do_tasks()
' "$data" 2>"$work/pywws.log" || { cat "$work/pywws.log" >&2; fail "pywws failed"; }
}
# The record $1 must give a log of seven CR LF lines, which brinok converts
# to the data line $2; direwolf must send that, and decode_aprs read it as $3.
reading() {
  local written
  logged "$1"
  { [[ -f $log && $(tr -cd '\n' <"$log" | wc -c) -eq 7 ]] && ! grep -qv $'\r$' "$log"; } ||
    { { od -c "$log" || cat "$work/pywws.log"; } >&2; fail "record $1: no log of seven CR LF lines"; }
  written=$(tr '\r\n' ' |' <"$log")
  publish "$station"
  [ "$line" = "$2" ] || fail "record $1: data line $line, not $2 (log: $written)"
  beacon "$station"
  [[ $packet =~ ^$from$position"$line"$ ]] || fail "not the position and weather: $packet"
  decoded "$packet" "$3"
}
# The record $1 must place no log, pywws's log giving the reason $2, and
# leave the report as it was.
refused() {
  local before
  before=$(stat -c %Y.%y "$station/BRINOK.TXT")
  logged "$1"
  [ ! -e "$log" ] || fail "record $1: pywws placed $(tr '\r\n' ' |' <"$log")"
  grep -qF "QQ9QQ-7.Log not placed: not current: $2" "$work/pywws.log" ||
    { cat "$work/pywws.log" >&2; fail "record $1: pywws's log does not say '$2'"; }
  [ "$(stat -c %Y.%y "$station/BRINOK.TXT")" = "$before" ] || fail "record $1: the report changed"
}

# Gusts, below 0 F, rain since midnight, 4 m 50 s old: 4.5 m/s is 10 mph (decode_aprs takes
# it for knots, as APRS's direction/speed extension defines it), 11.2 m/s 25 mph, direction
# 12 of 16 270, -21.3 C -6 F, 3.3 mm 0.13 in, 1000.0 + 13.2 hPa.
good=$(stamp -290)
reading "$good,5,40,20.0,55,-21.3,1000.0,4.5,11.2,12,103.3,0" 270/010g025t-06P013b10132h55 \
  'wind 11.5 mph, direction 270, gust 25, temperature -6, rain 0.13 since midnight, barometer 29.92, humidity 55, ""'
# Once that reading is 5 minutes old, records lacking a value pywws requires
# (indoor temperature, pressure, rain), which it drops as invalid.
while [ $(($(date +%s) - $(date -u -d "$good" +%s))) -le 301 ]; do sleep 0.5; done
i=-3
for record in ,5,40,,95,-8.0,1000.0,8.9,11.0,4,103.3,0 \
  ,5,40,20.0,95,-8.0,,8.9,11.0,4,103.3,0 ,5,40,20.0,95,-8.0,1000.0,8.9,11.0,4,,0; do
  i=$((i + 1))
  refused "$(stamp $i)$record" "reading of $good UTC, more than 5 minutes old"
done
# The report keeps the date of that reading: 10 minutes on, the position
# goes alone, so no reading goes out 15 minutes after it was measured.
touch -d '10 minutes ago' "$station/BRINOK.TXT"
bare "$station" "a reading went out 15 minutes after it was measured"
grep -q -- '-mmin -10 ' "$recipe" || fail "$recipe does not guard at 10 minutes"

# Calm, no temperature or humidity sensor (of humidity's no-data "..." one full stop is
# left unread); wind without a direction, freezing point, humidity 100; 10.24 inches since
# midnight, capped at 9.99.
sleep 1
reading "$(stamp 0),5,40,20.0,,,1001.5,0.0,0.0,4,103.3,0" .../...g...t...P013b10147h... \
  ', rain 0.13 since midnight, barometer 29.97, "."'
sleep 1
reading "$(stamp 0),5,40,20.0,100,0.0,1002.0,2.2,3.1,,104.0,0" .../...g007t032P016b10152h00 \
  ', gust 7, temperature 32, rain 0.16 since midnight, barometer 29.98, humidity 100, ""'
sleep 1
reading "$(stamp 0),5,40,20.0,55,-21.3,1000.0,4.5,11.2,12,360.0,0" 270/010g025t-06P999b10132h55 \
  'wind 11.5 mph, direction 270, gust 25, temperature -6, rain 9.99 since midnight, barometer 29.92, humidity 55, ""'
# A record 3 hours ahead, as after the clock stepped back: pywws keeps it
# as its newest reading and drops the later records stamped earlier.
ahead=$(stamp 10800)
refused "$ahead,5,40,20.0,55,-21.3,1000.0,4.5,11.2,12,360.0,0" \
  "reading of $ahead UTC, ahead of the clock"
refused "$(stamp 0),5,40,20.0,50,-20.0,1000.0,4.5,11.2,12,360.0,0" \
  "reading of $ahead UTC, ahead of the clock"

touch -d '3 hours' "$station/BRINOK.TXT"
bare "$station" "a report from the future went on the air"
mkdir "$work/empty"
bare "$work/empty" "without a report, the packet is not the bare position"
grep -qxF "#   $packet" "$recipe" ||
  fail "$recipe does not show the packet sent without a report: $packet"
grep -q "BRINOK.TXT.*No such file" "$work/direwolf.log" ||
  fail "direwolf's log does not say that there is no report"
