#!/usr/bin/env bash
# The systemd recipe, run for real: systemd boots as PID 1 in private
# namespaces on a copy-on-write view of this machine (.ci/sandbox/), the .deb
# is installed there and set up with the README's blocks of commands (the
# station folder, pywws), twice, and logs are written as the weather program
# would. systemd-analyze verify must find nothing to say of the units;
# pywws.service, without a station, must say so and start again once a
# minute. The path unit must convert each log; the service must log one
# journal line per run that did something, nothing for a run that found no
# log, and fail only on status 1. The timer must convert a log written
# during a run, retried once a minute while the run fails (not in a loop),
# and log nothing itself. Then the README's station folder under /home, with
# the blocks run again after it: a log must still be converted there, and
# Debian's direwolf.service, set up by the README's block, must send the
# report, and without group weather the position alone, saying why in the
# journal. Last, the cron line.
# shellcheck source=.ci/common.sh
. "$(dirname "$0")/../common.sh"
# shellcheck source=.ci/sandbox/systemd.sh
. .ci/sandbox/systemd.sh
trap 'sandbox_stop; rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  box journalctl --no-pager -n 40 >&2 || true
  exit 1
}
box() { sandbox_run "$@"; }
as_user() { box runuser -u "$1" -- sh -c "$2" "${@:3}"; }

cmake --workflow --preset package
start=$SECONDS
sandbox_start
echo "-- systemd booted in $((SECONDS - start)) s; install, set up as the README says"
deb="build/release/brinok_${version}_$(dpkg --print-architecture).deb"
box sh -c 'cat >/root/brinok.deb' <"$deb"
box dpkg -i /root/brinok.deb >/dev/null
# The README's block of commands that holds the text $1, as written, less
# the indentation of its list item.
readme_block() {
  awk -v want="$1" '
    /^ *```sh$/ { block = ""; inside = 1; indent = index($0, "`") - 1; next }
    /^ *```$/ { if (inside && index(block, want)) print block; inside = 0; next }
    inside { block = block substr($0, indent + 1) "\n" }' README.md >"$work/$2.sh"
  [ -s "$work/$2.sh" ] || fail "the README has no block of commands with '$1'"
}
readme_block 'enable --now brinok.path' station
readme_block 'enable --now pywws' pywws
readme_block 'brinok.service.d' home
readme_block '/etc/direwolf.conf' direwolf
# Runs the README's block $1 in the sandbox, as root, in /root.
setup() {
  { echo "cd /root"; cat "$work/$1.sh"; } | box sh -e ||
    fail "the README's $1 block failed"
}
for _ in 1 2; do
  setup station
  setup pywws
done
# pywws.service started last at the end of the second round.
pywws_since=$SECONDS
[ "$(box systemctl is-active brinok.path brinok.timer)" = $'active\nactive' ] ||
  fail "brinok.path or brinok.timer is not active"
[[ " $(box id -nG pywws) " == *" weather "* ]] ||
  fail "the setup did not put the weather program's account into group weather"
# verify checks that ExecStart= names an executable and that the manual of
# Documentation= is installed; of an unknown key or a value it cannot parse
# it only warns, so any message at all fails.
units=(brinok.service brinok.path brinok.timer)
messages=$(box systemd-analyze verify \
  "${units[@]/#//etc/systemd/system/}" /etc/systemd/system/pywws.service 2>&1) ||
  fail "systemd-analyze verify: $messages"
[ -z "$messages" ] || fail "systemd-analyze verify: $messages"

echo "-- pywws.service without the station"
# The sandbox has no USB devices: pywws must stop, saying so, and systemd
# must start it again a minute later (checked after the timer's tests).
pywws_state() {
  local property
  for property in ActiveState SubState Result; do
    box systemctl show -P "$property" pywws.service
  done | xargs
}
retrying() { [ "$(pywws_state)" = "activating auto-restart exit-code" ]; }
poll 10 retrying || fail "pywws.service is '$(pywws_state)', not waiting to start again"
not_found() {
  box journalctl -u pywws.service -o cat |
    grep -cx 'OSError: Weather station device not found' || true
}
[ "$(not_found)" -eq 2 ] ||
  fail "pywws did not say 'Weather station device not found' once each round"
[ "$(box systemctl show -P RestartUSec pywws.service)" = 1min ] ||
  fail "pywws.service does not wait a minute before it starts again"
echo "pywws.service: $(pywws_state), restarts in a minute;" \
  "$(box journalctl -u pywws.service -p err -o cat | tail -n 1)"

station=/var/lib/brinok user=pywws
write_log() { as_user "$user" "printf '%s\r\n' $* >$station/QQ9QQ-7.Log"; }
# Each run that found a log ends with one journal line from ExecStopPost=.
exits() {
  box journalctl -u brinok.service -o cat | grep "^exit status [0-9]*${1:-}" || true
}
ended() { [ "$(exits | wc -l)" -ge "$1" ]; }
# Every journal line about the units given, systemd's own included.
unit_lines() { box journalctl "${@/#/--unit=}" -o cat | wc -l; }
state() { box systemctl is-active brinok.service || true; }
not_failed() { [ "$(state)" != failed ]; }
# No start of the service waiting or under way.
settled() {
  [ -z "$(box systemctl list-jobs --no-legend brinok.service)" ] &&
    [[ $(state) != *ing ]]
}
runs=0
# Waits for the next run to end and checks its journal line.
expect_run() {
  runs=$((runs + 1))
  poll 10 ended "$runs" || fail "run $runs ($1) did not end in 10 s"
  [ "$(exits | sed -n "${runs}p")" = "$1" ] ||
    fail "run $runs logged '$(exits | sed -n "${runs}p")', not '$1'"
  poll 5 settled || fail "brinok.service did not settle"
  echo "run $runs: $1 (unit $(state))"
}
# Checks line 2 of the report, and that the log is gone.
expect_report() {
  [ "$(box sed -n 2p "$station/BRINOK.TXT" | tr -d '\r')" = "$1" ] ||
    fail "report line 2 is '$(box sed -n 2p "$station/BRINOK.TXT")', not '$1'"
  box test ! -e "$station/QQ9QQ-7.Log" || fail "the log is still there after status 0"
}
# Waits until the timer's next start, on the full minute, is $1 s away.
clear_of_timer() { while [ "$(date +%S)" -ge $((60 - $1)) ]; do sleep 0.5; done; }
last_start() { box systemctl show -P LastTriggerUSecMonotonic brinok.timer; }
started_since() { [ "$(last_start)" != "$1" ]; }
# Waits for the timer's next start, and for its run to end.
wait_for_timer() {
  poll 70 started_since "$(last_start)" || fail "the timer did not start in 70 s"
  poll 5 settled || fail "brinok.service did not settle"
}
log=$station/QQ9QQ-7.Log

echo "-- brinok.path"
box test ! -e "$log" || fail "enabling brinok.path created $log"
write_log 270 5 12 68.5 0.12 1013.2 55
expect_run "exit status 0: report published"
expect_report 270/005g012t068P012b10132h55
[ "$(box stat -c %U "$station/BRINOK.TXT")" = weather ] ||
  fail "the report does not belong to the weather program's user"
# Written under another name, then renamed into place in one step.
as_user pywws "printf '%s\r\n' 45.9 15 22 -4 1.25 1013 70 >$station/log.tmp &&
  mv $station/log.tmp $log"
expect_run "exit status 0: report published"
expect_report 045/015g022t-04P125b10130h70
write_log 1 2
expect_run "exit status 2: log rejected (not seven lines) and deleted"
box test ! -e "$log" || fail "a rejected log was kept"
not_failed || fail "a rejected log marked the unit failed"
# Clear of the timer, which would run the kept log again.
clear_of_timer 10
write_log -90 5 12 68.5 0.12 1013.2 55
expect_run "exit status 1: run failed, the log is kept for the next run"
! not_failed || fail "a failed run did not mark the unit failed"
box test -f "$log" || fail "a failed run did not keep the log"
# Removing the log is a change too: the next run finds none, and neither it
# nor systemd about it writes a line. (Until that run has ended, the path
# unit would miss the next log.)
sleep 0.5
before=$(unit_lines "${units[@]}")
as_user weather "rm $log"
ended_well() { settled && not_failed; }
poll 5 ended_well || fail "a run that found no log left the unit failed"
sleep 0.5
[ "$(unit_lines "${units[@]}")" -eq "$before" ] || fail "a run that found no log wrote:
$(box journalctl "${units[@]/#/--unit=}" -o cat | tail -n +$((before + 1)))"
echo "a run that found no log: no journal line"
box systemctl restart brinok.path
box test ! -e "$log" || fail "restarting brinok.path created $log"
write_log 0 0 0 N/A 0.00 998.5 100
expect_run "exit status 0: report published"
expect_report .../...g...t...P000b09985h00

echo "-- brinok.timer: a log written during a run, kept by a failed run"
# The second of two logs is written as soon as the run the first started has
# deleted it, while that run is still ending (a fixed delay would not land
# within the run), and the report is made read-only at once: the timer's
# next run fails and keeps the log, no run starts in the rest of that minute,
# and with the report writable the timer's run after that converts the log.
clear_of_timer 10
published=$(exits ': report published' | wc -l)
failed=$(exits ': run failed' | wc -l)
timer_lines=$(unit_lines brinok.timer)
# shellcheck disable=SC2016 # expanded by the shell in the sandbox
gap=$(box sh -c 'write() { runuser -u pywws -- sh -c "printf \"%s\r\n\" $2 >$1"; }
  write "$0" "90 8 14 50 0.02 1009.9 60"; t=$(date +%s%N)
  while [ -e "$0" ]; do sleep 0.005; done
  chmod a-w "$1"
  write "$0" "180 9 16 51 0.03 1010.1 61"
  echo $((($(date +%s%N) - t) / 1000000))' "$log" "$station/BRINOK.TXT")
echo "the second log written ${gap} ms after the first, the report read-only"
start=$SECONDS
wait_for_timer
box test -e "$log" || fail "a run with the report read-only did not keep the log"
while [ "$(date +%S)" -lt 50 ]; do sleep 0.5; done
box chmod u+w "$station/BRINOK.TXT"
now=$(exits ': run failed' | wc -l)
echo "report read-only for $((SECONDS - start)) s: $((now - failed)) failed runs"
# The timer's; and the path unit's, where it saw the second log after all.
((now - failed >= 1 && now - failed <= 2)) ||
  fail "$((now - failed)) failed runs, not the timer's (and the path unit's)"
start=$SECONDS
wait_for_timer
now=$(exits ': report published' | wc -l)
echo "the kept log converted $((SECONDS - start)) s after the report became" \
  "writable: $((now - published)) reports for the two logs"
[ $((now - published)) -eq 2 ] || fail "$((now - published)) reports for two logs"
[ "$(exits | tail -n 1)" = "exit status 0: report published" ] ||
  fail "the timer's run did not publish the kept log"
expect_report 180/009g016t051P003b10101h61
[ "$(unit_lines brinok.timer)" -eq "$timer_lines" ] ||
  fail "brinok.timer wrote to the journal"
runs=$(exits | wc -l)

echo "-- pywws.service once a minute, not in a loop"
# Its first start of the second round failed at once; each further start
# comes a minute after the last failed.
elapsed=$((SECONDS - pywws_since)) tries=$(($(not_found) - 1))
echo "pywws.service: $tries starts in $elapsed s"
((tries >= 1 + (elapsed - 10) / 61 && tries <= 1 + elapsed / 59)) ||
  fail "pywws.service started $tries times in $elapsed s, not once a minute"

echo "-- a station folder under /home, set up again"
station=/home/pi/station log=/home/pi/station/QQ9QQ-7.Log
# As Debian 12 makes a user: the home folder of mode 0700.
box adduser --quiet --disabled-password --comment pi pi
[ "$(box stat -c %a /home/pi)" = 700 ] || fail "/home/pi is not 0700"
setup home
setup station
setup pywws
box grep -qx "directory = $station" /var/lib/pywws/weather.ini ||
  fail "running the pywws block again changed the station folder in weather.ini"
write_log 100 3 0 0 0.00 998 50
expect_run "exit status 0: report published"
expect_report 100/003g...t000P000b09980h50
[ "$(box stat -c %U:%G "$station/BRINOK.TXT")" = pi:weather ] ||
  fail "the report in $station is not pi's, of group weather"

echo "-- direwolf.service reads the report"
# Debian's unit, unmasked; here direwolf gets 5 s of silence on standard
# input (ADEVICE stdin null) to send its beacon at 2 s, then ends.
box systemctl unmask direwolf.service
box mkdir -p /run/systemd/system/direwolf.service.d
box sh -c 'cat >/run/systemd/system/direwolf.service.d/ci.conf' <<'UNIT'
[Service]
ExecStart=
ExecStart=/bin/sh -c 'sleep 5 | exec /usr/bin/direwolf -c /etc/direwolf.conf -t 0 -q hd'
UNIT
box systemctl daemon-reload
# The operator's copy of the recipe: no sound card, and the folder.
box sh -c "sed -e 's/^ADEVICE .*/ADEVICE stdin null/' -e 's|/var/lib/brinok/|$station/|' \
  /usr/share/doc/brinok/examples/brinok-beacon.conf >/root/brinok-beacon.conf"
# Sets $packet to what the direwolf.service run started by CMD... sent.
direwolf_run() {
  local before
  before=$(box journalctl -u direwolf.service -o cat | wc -l)
  "$@"
  direwolf_ended() { [ "$(box systemctl is-active direwolf.service)" != active ]; }
  poll 15 direwolf_ended || fail "direwolf.service did not end"
  sent() {
    box journalctl -u direwolf.service -o cat | tail -n +$((before + 1)) >"$work/direwolf.log"
    grep -q '^\[0L\] ' "$work/direwolf.log"
  }
  poll 5 sent || { cat "$work/direwolf.log" >&2; fail "direwolf.service sent nothing"; }
  packet=$(sed -n 's/^\[0L\] //p' "$work/direwolf.log")
  echo "direwolf sent: $packet"
}
position='N0CALL-13>APDW[0-9]+:!4237\.14N/07120\.83W_'
direwolf_run setup direwolf
[[ $packet =~ ^${position}100/003g\.\.\.t000P000b09980h50$ ]] ||
  fail "direwolf did not send the report in $station"
# Out of group weather, direwolf's account may not enter /home/pi: the
# position alone goes out, and the journal says why.
box gpasswd --delete direwolf weather >/dev/null
direwolf_run box systemctl restart direwolf.service
[[ $packet =~ ^${position}$ ]] || fail "direwolf sent '$packet' without access"
grep -q "BRINOK.TXT.*Permission denied" "$work/direwolf.log" ||
  fail "direwolf's journal does not say why the report could not be read"
echo "direwolf's journal: $(grep 'Permission denied' "$work/direwolf.log")"

echo "-- cron line"
# The one line: every minute, as the weather program's user (root would
# replace a read-only report). Its command, run by sh as cron runs it, in
# this station's folder, with the units stopped so that the lines tagged
# brinok are its own (journald may miss the _COMM of a logger that has
# already exited): runs with no log and with a good one log nothing, a
# rejected log one line.
mapfile -t entries < <(grep -v -e '^#' -e '^$' contrib/cron/brinok.cron)
[ ${#entries[@]} -eq 1 ] || fail "brinok.cron holds ${#entries[@]} entries"
read -r minute hour day month weekday cron_user command <<<"${entries[0]}"
[ "$minute $hour $day $month $weekday" = "* * * * *" ] ||
  fail "brinok.cron does not run every minute"
[[ $cron_user =~ ^[a-z_][a-z0-9_-]*$ && $cron_user != root ]] ||
  fail "brinok.cron runs as '$cron_user', not as the weather program's user"
command=${command//\/var\/lib\/brinok/$station}
box systemctl disable --now brinok.path brinok.timer 2>/dev/null
tagged() { box journalctl -t brinok -o cat | wc -l; }
more_tagged() { [ "$(tagged)" -gt "$1" ]; }
before=$(tagged)
as_user pi "$command"
write_log 90 8 14 50 0.02 1009.9 60
as_user pi "$command"
expect_report 090/008g014t050P002b10099h60
write_log 1 2
as_user pi "$command"
poll 5 more_tagged "$before" || true
sleep 0.5
[ "$(tagged)" -eq $((before + 1)) ] ||
  fail "the cron line logged $(($(tagged) - before)) lines, not 1"
line=$(box journalctl -t brinok -o cat | tail -n 1)
[ "$line" = "exit status 2: log rejected (not seven lines) and deleted" ] ||
  fail "the cron line logged '$line'"
echo "cron line: $line"

box journalctl "${units[@]/#/--unit=}" --no-pager -o short
sandbox_stop
echo "systemd recipes: all checks passed"
