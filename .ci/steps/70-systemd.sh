#!/usr/bin/env bash
# The .deb in a booted systemd (.ci/sandbox.sh) as a station gets it: the account, the folder and
# brinok's units made and started by the package; path and timer; brinok-setup for a folder under
# /home, for direwolf and for aprx, both enabled for the next boot; the cron line; removal, purge.
# shellcheck source=.ci/common.sh
. "$(dirname "$0")/../common.sh"
. .ci/sandbox.sh
as_user() { sandbox_run runuser -u "$1" -- sh -c "$2"; }
journal() { sandbox_run journalctl -o cat "$@"; }
# Whether CMD... prints at least $1 lines; whether it prints other than $1.
lines() { [ "$("${@:2}" | wc -l)" -ge "$1" ]; }
changed() { [ "$("${@:2}")" != "$1" ]; }
sandbox_station
[ "$(sandbox_run systemctl is-active brinok.path brinok.timer brinok-watch.timer)" = \
  $'active\nactive\nactive' ] || fail "the package did not start brinok's path and timers"
[ "$(sandbox_run stat -c %U:%G:%a /var/lib/brinok)" = weather:weather:775 ] ||
  fail "the package made no station folder /var/lib/brinok of weather"
# verify finds a missing program or manual but only warns of what it cannot parse: any output fails.
messages=$(sandbox_run systemd-analyze verify /lib/systemd/system/brinok{.service,.path,.timer} \
  /lib/systemd/system/brinok-{pywws.service,watch.service,watch.timer} 2>&1 ||
  echo "(verify failed)")
[ -z "$messages" ] || fail "systemd-analyze verify: $messages"
station=/var/lib/brinok log=/var/lib/brinok/QQ9QQ-7.Log owner=weather:weather runs=0 writer=weather
write_log() { as_user "$writer" "printf '%s\r\n' $* >$log"; }
no_log() { sandbox_run test ! -e "$log" || fail "$1"; }
# Each run that found a log ends with one journal line from ExecStopPost=: expect_run waits for the
# next run's, $1, then until no start of the service waits or runs and its state is $2.
exits() { journal -u brinok.service | grep '^exit status [0-9]' || true; }
state() { sandbox_run systemctl is-active brinok.service || true; }
settled() { [[ -z $(sandbox_run systemctl list-jobs --no-legend brinok.service) &&
  $(state) == "$1" ]]; }
expect_run() {
  poll 10 lines $((++runs)) exits || fail "run $runs ($1) did not end in 10 s"
  got=$(exits | sed -n "${runs}p")
  [ "$got" = "$1" ] || fail "run $runs logged '$got', not '$1'"
  poll 5 settled "$2" || fail "after run $runs, brinok.service is $(state), not $2"
}
expect_report() {
  got=$(sandbox_run sed -n 2p "$station/BRINOK.TXT" | tr -d '\r')
  [ "$got" = "$1" ] || fail "report line 2 is '$got', not '$1'"
  no_log "the log is still there after status 0"
  got=$(sandbox_run stat -c %U:%G "$station/BRINOK.TXT")
  [ "$got" = "$owner" ] || fail "the report in $station belongs to $got, not $owner"
}
published() { expect_run "exit status 0: report published" inactive && expect_report "$1"; }
# Waits until the timer's next start, on the full minute, is 10 s away and its last (within
# AccuracySec=1s) 3 s past; or for its next start and that run's end in state $1.
clear_of_timer() { while s=$((10#$(date +%S))); ((s >= 50 || s < 3)); do sleep 0.5; done; }
last_start() { sandbox_run systemctl show -P LastTriggerUSecMonotonic brinok.timer; }
wait_for_timer() {
  poll 70 changed "$(last_start)" last_start || fail "the timer did not start in 70 s"
  poll 5 settled "$1" || fail "after the timer's run, brinok.service is $(state), not $1"
}

# brinok.path, on a log written in place and one renamed into place.
no_log "enabling brinok.path created $log"
write_log 270 5 12 68.5 0.12 1013.2 55
published 270/005g012t068P012b10132h55
as_user weather "printf '%s\r\n' 45.9 15 22 -4 1.25 1013 70 >$log.tmp && mv $log.tmp $log"
published 045/015g022t-04P125b10130h70
write_log 1 2
expect_run "exit status 2: log rejected (not seven lines) and deleted" inactive
no_log "a rejected log was kept"
clear_of_timer # whose run would take the kept log
write_log -90 5 12 68.5 0.12 1013.2 55
expect_run "exit status 1: run failed, the log is kept for the next run" failed
sandbox_run test -f "$log" || fail "a failed run did not keep the log"
# Removing the log is a change too: the run finds none, and neither it nor systemd writes a
# line. (Until that run has ended, the path unit would miss the next log.)
sleep 0.5
before=$(journal -u 'brinok.*' | wc -l)
as_user weather "rm $log"
poll 5 settled inactive || fail "a run that found no log left the unit $(state)"
sleep 0.5
[ "$(journal -u 'brinok.*' | wc -l)" -eq "$before" ] ||
  fail "a run with no log wrote: $(journal -u 'brinok.*' | tail -n +$((before + 1)))"
sandbox_run systemctl restart brinok.path
no_log "restarting brinok.path created $log"
write_log 0 0 0 N/A 0.00 998.5 100
published .../...g...t...P000b09985h00

# brinok.timer: a second log written once the first one's run has deleted it (a fixed delay would
# miss that), the report made read-only at once: the path unit's run, if it saw the log, and the
# timer's next fail and keep it, no run follows in that minute; made writable, the next converts it.
clear_of_timer
timer_lines=$(journal -u brinok.timer | wc -l)
# shellcheck disable=SC2016 # expanded by the shell in the sandbox
sandbox_run sh -c 'write() { runuser -u weather -- sh -c "printf \"%s\r\n\" $2 >$1"; }
  write "$0" "90 8 14 50 0.02 1009.9 60"; while [ -e "$0" ]; do sleep 0.005; done
  chmod a-w "$1"; write "$0" "180 9 16 51 0.03 1010.1 61"' "$log" "$station/BRINOK.TXT"
wait_for_timer failed
sandbox_run test -e "$log" || fail "a run with the report read-only did not keep the log"
while [ "$(date +%S)" -lt 50 ]; do sleep 0.5; done
sandbox_run chmod u+w "$station/BRINOK.TXT"
wait_for_timer inactive
expect_report 180/009g016t051P003b10101h61
statuses=$(exits | tail -n +$((runs + 1)) | cut -c 13 | xargs)
[[ $statuses =~ ^0\ 1(\ 1)?\ 0$ ]] || fail "the runs ended with statuses $statuses, not 0 1 (1) 0"
[ "$(journal -u brinok.timer | wc -l)" -eq "$timer_lines" ] || fail "brinok.timer wrote lines"
runs=$(exits | wc -l)
# A station folder under /home (0700, as Debian 12 makes it) of user pi, set up twice.
station=/home/pi/station log=/home/pi/station/QQ9QQ-7.Log owner=pi:weather writer=pi
sandbox_run adduser --quiet --disabled-password --comment pi pi
[ "$(sandbox_run stat -c %a /home/pi)" = 700 ] || fail "/home/pi is not 0700"
# brinok-setup folder stops at /home/pi, which group weather may not pass, and prints the command
# that lets it; the operator runs it.
said=$(sandbox_run brinok-setup folder "$station" pi 2>&1) && fail "folder passed /home/pi of 0700"
# shellcheck disable=SC2086 # the command printed, as the operator types it
sandbox_run ${said##*to let it: }
for _ in 1 2; do sandbox_run brinok-setup folder "$station" pi >/dev/null; done
write_log 100 3 0 0 0.00 998 50
published 100/003g...t000P000b09980h50

# Debian's direwolf.service, unmasked, as brinok-setup sets it up without a radio: it beacons 2 s
# after each start, with the report in the station folder of /etc/default/brinok.
sandbox_run systemctl unmask --quiet direwolf.service
sandbox_run brinok-setup position 4237.14N 07120.83W >/dev/null
# Sets $packet to the first packet direwolf sends once CMD... has run (its lines in
# $work/direwolf.log).
sent() {
  journal -u direwolf.service | tail -n +$((before + 1)) >"$work/direwolf.log"
  grep -q '^\[0L\] ' "$work/direwolf.log"
}
direwolf_run() {
  before=$(journal -u direwolf.service | wc -l)
  "$@" >/dev/null
  poll 20 sent || fail "direwolf.service sent nothing: $(cat "$work/direwolf.log")"
  packet=$(sed -n 's/^\[0L\] //p' "$work/direwolf.log" | head -n 1)
}
position='N0CALL-13>APDW[0-9]+:!4237\.14N/07120\.83W_'
direwolf_run sandbox_run brinok-setup direwolf n0call-13 none
[[ $packet =~ ^${position}100/003g\.\.\.t000P000b09980h50$ ]] ||
  fail "direwolf sent '$packet', not the report in $station"
# Out of group weather, direwolf may not enter /home/pi: the position alone, and the reason.
sandbox_run gpasswd --delete direwolf weather >/dev/null
direwolf_run sandbox_run systemctl restart direwolf.service
[[ $packet =~ ^${position}$ ]] || fail "direwolf sent '$packet' without access"
grep -q "BRINOK.TXT.*Permission denied" "$work/direwolf.log" ||
  fail "direwolf's journal does not say why the report could not be read"
# aprx, which Debian installs disabled, from its init script (the generator that makes its unit
# is masked in the sandbox like every other).
sandbox_run sh -c 'rm /etc/systemd/system-generators/systemd-sysv-generator &&
  systemctl daemon-reload && brinok-setup aprx CW0000 -1 127.0.0.1' >/dev/null
for client in direwolf aprx; do
  [ "$(sandbox_run systemctl is-enabled "$client" 2>/dev/null)" = enabled ] ||
    fail "$client would not start at the next boot"
  sandbox_run systemctl -q is-active "$client" || fail "$client is not running"
done
# The cron line: one, every minute, not as root (which would leave a report the account cannot
# replace). Run by
# sh with the units stopped, so the lines tagged brinok are its own (journald may miss a logger's
# _COMM): no log and a good one log nothing, a rejected log one line.
mapfile -t entries < <(grep -v -e '^#' -e '^$' contrib/cron/brinok.cron)
[ ${#entries[@]} -eq 1 ] || fail "brinok.cron holds ${#entries[@]} entries"
read -r minute hour day month weekday cron_user command <<<"${entries[0]}"
[ "$minute $hour $day $month $weekday" = "* * * * *" ] || fail "brinok.cron is not every minute"
[[ $cron_user =~ ^[a-z_][a-z0-9_-]*$ && $cron_user != root ]] ||
  fail "brinok.cron runs as '$cron_user', not as the weather program's user"
sandbox_run systemctl disable --now brinok.path brinok.timer 2>/dev/null
tagged() { journal -t brinok | tail -n +$((before + 1)); }
cron() { [ $# -eq 0 ] || write_log "$@"; as_user pi "${command//\/var\/lib\/brinok/$station}"; }
before=$(journal -t brinok | wc -l)
cron
cron 90 8 14 50 0.02 1009.9 60
expect_report 090/008g014t050P002b10099h60
cron 1 2
poll 5 lines 1 tagged || true
sleep 0.5
[ "$(tagged)" = "exit status 2: log rejected (not seven lines) and deleted" ] ||
  fail "the cron line logged '$(tagged)', not one line for the rejected log"

# Removal stops brinok's units and takes them away, keeping the station folders and aprs-weather;
# purge removes /var/lib/brinok, aprs-weather and brinok-setup's files, and leaves the accounts.
sandbox_run systemctl enable --now --quiet brinok.path brinok.timer
sandbox_run adduser --quiet direwolf weather
sandbox_run apt-get remove -qq brinok >/dev/null
# The beacons still run aprs-weather, which stays until purge: no error, the report while current.
report=$(sandbox_run sed -n 2p "$station/BRINOK.TXT" | tr -d '\r')
direwolf_run sandbox_run systemctl restart direwolf.service
[[ $packet =~ ^$position && $packet == *"_$report" ]] ||
  fail "after removal direwolf sent '$packet', not the report $report"
! grep -qi -e error -e 'no such' -e failed "$work/direwolf.log" ||
  fail "after removal direwolf logged: $(cat "$work/direwolf.log")"
for unit in brinok.path brinok.timer brinok.service brinok-watch.timer; do
  got=$(sandbox_run systemctl show -P LoadState,ActiveState,NextElapseUSecRealtime "$unit")
  [ "$(echo "$got" | xargs)" = "not-found inactive" ] || fail "after removal, $unit is $got"
done
sandbox_run test -f /var/lib/brinok/BRINOK.TXT -a -f "$station/BRINOK.TXT" ||
  fail "removal took a station folder's report"
sandbox_run apt-get purge -qq brinok >/dev/null
for path in /var/lib/brinok /etc/default/brinok /etc/systemd/system/brinok.service.d \
  /etc/brinok/aprs-weather; do
  sandbox_run test ! -e "$path" || fail "purge left $path"
done
sandbox_run sh -c "id weather && test -f $station/BRINOK.TXT" >/dev/null ||
  fail "purge removed the account weather or $station's report"
