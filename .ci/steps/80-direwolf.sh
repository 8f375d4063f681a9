#!/usr/bin/env bash
# The Linux station end to end, run for real: pywws, set up with
# contrib/pywws/, turns raw records of a data store into the weather log in
# the station folder, brinok converts it, direwolf runs with
# contrib/direwolf/brinok-beacon.conf (only the sound card replaced by ADEVICE
# stdin null, since CI has none) and transmits its beacon, and decode_aprs
# must read the weather back from the packet. Records are stamped from the
# clock, as the template judges a reading by its time: a reading more than
# 5 minutes old (pywws dropping the new records as invalid) or ahead of the
# clock must not be placed, and a report 10 minutes old, dated in the
# future or not there at all must give the bare position.
# shellcheck source=.ci/common.sh
. "$(dirname "$0")/../common.sh"
export LC_ALL=C.UTF-8

cmake --workflow --preset release
brinok="$PWD/build/release/brinok"
recipe=contrib/direwolf/brinok-beacon.conf
grep -q '^ADEVICE ' "$recipe" || fail "$recipe sets no ADEVICE"
sed 's/^ADEVICE .*/ADEVICE stdin null/' "$recipe" >"$work/direwolf.conf"

# Runs direwolf with the station folder $1 at the recipe's /var/lib/brinok
# and sets $packet to the one packet it sent. In namespaces of its own, a
# tmpfs over /var/lib holds the folder and a private network keeps its AGW
# and KISS ports off the machine's. Its input is the silence it receives:
# the beacon goes out after 2 s, and at the end of the input, at 5 s, it exits.
beacon() {
  # shellcheck disable=SC2016 # expanded by the inner shell
  unshare --mount --net bash -c '
    set -euo pipefail
    mount -t tmpfs tmpfs /var/lib
    if [ -n "$1" ]; then cp -a "$1" /var/lib/brinok; fi
    sleep 5 | timeout 30 direwolf -c "$2" -t 0 -q hd
  ' _ "$1" "$work/direwolf.conf" >"$work/direwolf.log" 2>&1 ||
    { cat "$work/direwolf.log" >&2; fail "direwolf failed"; }
  [ "$(grep -c '^\[0L\] ' "$work/direwolf.log")" -eq 1 ] ||
    { cat "$work/direwolf.log" >&2; fail "direwolf sent not one packet"; }
  packet=$(sed -n 's/^\[0L\] //p' "$work/direwolf.log")
  echo "direwolf sent: $packet"
}
# The recipe's position report, which carries the data line after it.
position='N0CALL-13>APDW[0-9]+:!4237\.14N/07120\.83W_'

# A weather program's data store, in pywws's own format: raw records as
# the station logs them (wind in m/s, temperatures in degrees Celsius, the
# rain counter in mm, the station's absolute pressure in hPa, the wind
# direction in sixteenths; an empty value is a sensor the station did not
# hear), set up with contrib/pywws/merge.py as the README says (run twice:
# the second run must change nothing).
data="$work/pywws"
station="$work/station"
mkdir -p "$data" "$station"
offset=13.2
printf '[config]\npressure offset = %s\n[paths]\nwork = %s\n' "$offset" \
  "$work/pywws-work" >"$data/weather.ini"
for round in 1 2; do
  /usr/bin/python3 contrib/pywws/merge.py "$data" "$station" >/dev/null ||
    fail "merge.py failed in round $round"
done
grep -qxF "services = [('brinok', 'QQ9QQ-7.Log')]" "$data/weather.ini" ||
  fail "merge.py made: $(cat "$data/weather.ini")"
grep -qx "directory = $station" "$data/weather.ini" ||
  fail "merge.py did not name the station folder"
cmp -s contrib/pywws/QQ9QQ-7.Log "$data/templates/QQ9QQ-7.Log" ||
  fail "merge.py did not copy the template"
# What the station itself would have stored on its first contact.
printf '[fixed]\nfixed block = {}\n' >"$data/status.ini"

# The template judges a reading by its time against the clock, so records
# are stamped from the clock: stamp N is N seconds from now, in UTC. The
# day's rain counts from the record nearest midnight, so the step keeps
# clear of midnight (UTC) by a few minutes.
near_midnight() { local hhmm=$((10#$(date -u +%H%M))); ((hhmm > 2356 || hhmm < 6)); }
while near_midnight; do sleep 10; done
stamp() { date -u -d "@$(($(date +%s) + $1))" '+%Y-%m-%d %H:%M:%S'; }
append() {
  local day=${1:0:10}
  mkdir -p "$data/raw/${day:0:4}/${day:0:7}"
  echo "$1" >>"$data/raw/${day:0:4}/${day:0:7}/$day.txt"
}
# Midnight: the rain counter at 100.0 mm starts the day's rain. pywws makes
# no log before it has summed up an hour, hence the record an hour before.
midnight=$(date -u '+%Y-%m-%d 00:00:00')
append "$(date -u -d "$midnight 65 minutes ago" '+%Y-%m-%d %H:%M:%S'),5,40,20.0,60,-20.0,1000.0,3.0,8.0,12,100.0,0"
append "$midnight,5,40,20.0,60,-15.0,1000.0,1.0,2.0,8,100.0,0"

# The data line a record must give, worked out here from its values: the
# units APRS wants, whole numbers rounded, no data ("...") for a sensor
# the station lacks, a calm wind, a direction with no speed to go with, and
# rain capped at 9.99 inches.
expected_line() {
  awk -F, -v offset="$offset" -v midnight=100.0 '
    function mph(ms) { return ms == "" ? "" : sprintf("%.0f", ms * 3600 / 1609.344) }
    function field(v) { return v == "" || v == 0 ? "..." : sprintf("%03d", v) }
    {
      speed = $10 == "" ? "" : mph($8); gust = mph($9)
      direction = field(speed) == "..." ? "..." : sprintf("%03d", $10 * 22.5)
      temp = $6 == "" ? "..." : sprintf("%03d", sprintf("%.0f", $6 * 9 / 5 + 32))
      inches = ($11 - midnight) / 25.4
      rain = sprintf("%.2f", inches > 9.99 ? 9.99 : inches); sub(/\./, "", rain)
      pressure = sprintf("%.1f", $7 + offset); sub(/\./, "", pressure)
      hum = $5 == "" ? "..." : $5 == 100 ? "00" : $5
      printf "%s/%sg%st%sP%sb%05dh%s\n", direction, field(speed), field(gust),
        temp, rain, pressure, hum
    }' <<<"$1"
}

# Appends the raw record $1 and runs what pywws-livelog runs after each
# record it logs (processing, then the [logged] tasks: the template and the
# service), with pywws's warnings in $work/pywws.log.
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
# Runs logged on the record $1, then brinok in the station folder; checks
# the data line against the record's values, sends the report with the
# recipe and checks what decode_aprs reads back: the fields given as
# regular expressions, nothing left unread, and the fields listed after --
# not at all.
reading() {
  local line want weather field absent='' written
  logged "$1"
  [ -f "$log" ] || { cat "$work/pywws.log" >&2; fail "pywws placed no log"; }
  # Seven lines, each ended by CR LF, and nothing else.
  if [ "$(tr -cd '\n' <"$log" | wc -c)" -ne 7 ] || grep -qv $'\r$' "$log"; then
    od -c "$log" >&2
    fail "the log pywws wrote is not seven lines ended by CR LF"
  fi
  written=$(tr '\r\n' ' |' <"$log")
  (cd "$station" && "$brinok") || fail "brinok did not publish pywws's log"
  line=$(sed -n 2p "$station/BRINOK.TXT" | tr -d '\r')
  want=$(expected_line "$1")
  [ "$line" = "$want" ] ||
    fail "record $1: data line $line, its values make $want (log: $written)"
  echo "brinok wrote: $line"
  beacon "$station"
  [[ "$packet" =~ ^$position"$line"$ ]] ||
    fail "the packet is not the position and weather report"
  # decode_aprs colours its output for a terminal; the colours go.
  weather=$(decode_aprs <<<"$packet" 2>&1 | sed 's/\x1b\[[0-9;]*[A-Za-z]//g' |
    grep -v '^$' | tail -n 1)
  echo "decode_aprs read: $weather"
  for field in "${@:2}"; do
    if [ "$field" = -- ]; then
      absent=1
    elif [ -z "$absent" ]; then
      [[ "$weather" =~ (^|, )$field(,|$) ]] || fail "decode_aprs did not read '$field'"
    else
      [[ ! "$weather" =~ (^|, )$field ]] || fail "decode_aprs read '$field'"
    fi
  done
  # Anything it could not read would be left over in the quotes at the end;
  # humidity has two places, so of its no-data marker "..." one full stop
  # is left.
  local left='""'
  [[ "$line" != *h... ]] || left='"."'
  [[ "$weather" == *"$left" ]] || fail "decode_aprs left part of the report unread"
}
# Runs logged on the record $1, which must place no log: pywws's log must
# give the reason $2, and the report must stay as it was.
refused() {
  local before
  before=$(stat -c %Y.%y "$station/BRINOK.TXT")
  logged "$1"
  [ ! -e "$log" ] || fail "record $1: pywws placed $(tr '\r\n' ' |' <"$log")"
  grep -qF "QQ9QQ-7.Log not placed: not current: $2" "$work/pywws.log" ||
    { cat "$work/pywws.log" >&2; fail "record $1: pywws's log does not say '$2'"; }
  [ "$(stat -c %Y.%y "$station/BRINOK.TXT")" = "$before" ] ||
    fail "record $1: the report changed"
  echo "not placed: $(grep -o 'not current: .*' "$work/pywws.log")"
}

echo "-- pywws: gusts, below 0 F, rain since midnight; 4 m 50 s old"
# 4.5 m/s is 10.1 mph, gust 11.2 m/s 25.1 mph, direction 12 of 16 is 270,
# -21.3 C is -6.3 F, 3.3 mm since midnight 0.13 in, 1000.0 + 13.2 hPa.
# decode_aprs takes the speed after the direction for knots, as APRS's
# direction/speed extension defines it, and shows 10 as 11.5 mph.
good=$(stamp -290)
reading "$good,5,40,20.0,55,-21.3,1000.0,4.5,11.2,12,103.3,0" \
  'wind 11\.5 mph' 'direction 270' 'gust 25' 'temperature -6' \
  'rain 0\.13 since midnight' 'barometer 29\.92' 'humidity 55'
published=$(sed -n 2p "$station/BRINOK.TXT" | tr -d '\r')

echo "-- pywws: new records it drops as invalid, once that reading is 5 minutes old"
# Each lacks one of the values pywws requires (indoor temperature,
# pressure, rain): pywws drops it and takes the last good reading for the
# template, which is now more than 5 minutes old.
while [ $(($(date +%s) - $(date -u -d "$good" +%s))) -le 301 ]; do sleep 0.5; done
refused "$(stamp -2),5,40,,95,-8.0,1000.0,8.9,11.0,4,103.3,0" \
  "reading of $good UTC, more than 5 minutes old"
refused "$(stamp -1),5,40,20.0,95,-8.0,,8.9,11.0,4,103.3,0" \
  "reading of $good UTC, more than 5 minutes old"
refused "$(stamp 0),5,40,20.0,95,-8.0,1000.0,8.9,11.0,4,,0" \
  "reading of $good UTC, more than 5 minutes old"
# The report keeps brinok's date of the last good reading: 10 minutes
# after that, direwolf sends the position alone, so that reading went out
# for less than 15 minutes after it was measured.
touch -d '10 minutes ago' "$station/BRINOK.TXT"
beacon "$station"
[[ "$packet" =~ ^$position$ ]] ||
  fail "$published still went out 15 minutes after it was measured"
grep -q -- '-mmin -10 ' "$recipe" || fail "$recipe does not guard at 10 minutes"

echo "-- pywws: a good record again; calm, no temperature and humidity sensor"
sleep 1
reading "$(stamp 0),5,40,20.0,,,1001.5,0.0,0.0,4,103.3,0" \
  'rain 0\.13 since midnight' 'barometer 29\.97' -- wind direction gust \
  temperature humidity
echo "-- pywws: wind without a direction, freezing point, humidity 100"
sleep 1
reading "$(stamp 0),5,40,20.0,100,0.0,1002.0,2.2,3.1,,104.0,0" \
  'gust 7' 'temperature 32' 'rain 0\.16 since midnight' 'humidity 100' -- \
  wind direction
echo "-- pywws: 10.24 inches since midnight, capped at 9.99"
sleep 1
reading "$(stamp 0),5,40,20.0,55,-21.3,1000.0,4.5,11.2,12,360.0,0" \
  'rain 9\.99 since midnight' 'barometer 29\.92' 'humidity 55'

echo "-- pywws: a record 3 hours ahead of the clock, then one on time"
# As after the clock stepped back: pywws keeps the later stamp as its
# newest reading and drops the records after it that are stamped earlier.
ahead=$(stamp 10800)
refused "$ahead,5,40,20.0,55,-21.3,1000.0,4.5,11.2,12,360.0,0" \
  "reading of $ahead UTC, ahead of the clock"
refused "$(stamp 0),5,40,20.0,50,-20.0,1000.0,4.5,11.2,12,360.0,0" \
  "reading of $ahead UTC, ahead of the clock"

echo "-- a report dated 3 hours ahead"
touch -d '3 hours' "$station/BRINOK.TXT"
beacon "$station"
[[ "$packet" =~ ^$position$ ]] || fail "a report from the future went on the air"

echo "-- no report yet"
mkdir "$work/empty"
beacon "$work/empty"
[[ "$packet" =~ ^$position$ ]] ||
  fail "without a report, the packet is not the bare position"
grep -qxF "#   $packet" "$recipe" ||
  fail "$recipe does not show the packet sent without a report: $packet"
grep -q "BRINOK.TXT.*No such file" "$work/direwolf.log" ||
  fail "direwolf's log does not say that there is no report"
echo "direwolf recipe: all checks passed"
