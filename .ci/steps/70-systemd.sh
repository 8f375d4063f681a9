#!/usr/bin/env bash
# The .deb and the README's setup in a booted systemd (.ci/sandbox.sh): path and timer units,
# pywws's unit without a station, a folder under /home, direwolf.service, the cron line.
# shellcheck source=.ci/common.sh
. "$(dirname "$0")/../common.sh"
. .ci/sandbox.sh
as_user() { sandbox_run runuser -u "$1" -- sh -c "$2"; }
journal() { sandbox_run journalctl -o cat "$@"; }
# Whether CMD... prints at least $1 lines; whether it prints other than $1.
lines() { [ "$("${@:2}" | wc -l)" -ge "$1" ]; }
changed() { [ "$("${@:2}")" != "$1" ]; }
cmake --workflow --preset package
sandbox_start
sandbox_run sh -c 'cat >/root/brinok.deb && dpkg -i /root/brinok.deb >/dev/null' \
  <"build/release/brinok_${version}_$(dpkg --print-architecture).deb"
# Runs the README's block of commands with $1 in it (less its list item's indent) in /root.
setup() {
  block=$(awk -v want="$1" '/^ *```$/ { if (on && index(block, want)) print block; on = 0 }
    on { block = block substr($0, indent + 1) "\n" }
    /^ *```sh$/ { block = ""; on = 1; indent = index($0, "`") - 1 }' README.md)
  [ -n "$block" ] || fail "the README has no block of commands with '$1'"
  printf 'cd /root\n%s\n' "$block" | sandbox_run sh -e || fail "the README's '$1' block failed"
}
for _ in 1 2; do setup 'enable --now brinok.path' && setup 'enable --now pywws'; done
pywws_since=$SECONDS
[ "$(sandbox_run systemctl is-active brinok.path brinok.timer)" = $'active\nactive' ] ||
  fail "brinok.path or brinok.timer is not active"
[[ " $(sandbox_run id -nG pywws) " == *" weather "* ]] || fail "pywws is not in group weather"
# verify finds a missing program or manual but only warns of what it cannot parse: any output fails.
messages=$(sandbox_run systemd-analyze verify \
  /etc/systemd/system/{brinok.{service,path,timer},pywws.service} 2>&1 || echo "(verify failed)")
[ -z "$messages" ] || fail "systemd-analyze verify: $messages"
# No USB devices here: pywws must stop, saying so, and wait a minute to start again (counted
# below); the second round's stop may end the first round's start before it has said so.
pywws_state() { sandbox_run systemctl show -P ActiveState,SubState,Result pywws.service | xargs; }
not_found() { journal -u pywws | grep -cx 'OSError: Weather station device not found' || true; }
retrying() { [[ $(pywws_state) == "exit-code activating auto-restart" && $(not_found) -ge 1 ]]; }
poll 10 retrying || fail "pywws.service is '$(pywws_state)', 'not found' $(not_found) times"
said=$(not_found)
[ "$(sandbox_run systemctl show -P RestartUSec pywws.service)" = 1min ] ||
  fail "pywws.service does not wait a minute before it starts again"
station=/var/lib/brinok log=/var/lib/brinok/QQ9QQ-7.Log owner=weather:weather runs=0
write_log() { as_user pywws "printf '%s\r\n' $* >$log"; }
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
as_user pywws "printf '%s\r\n' 45.9 15 22 -4 1.25 1013 70 >$log.tmp && mv $log.tmp $log"
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
sandbox_run sh -c 'write() { runuser -u pywws -- sh -c "printf \"%s\r\n\" $2 >$1"; }
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
# pywws.service once a minute, not in a loop (one more start where the journal was late).
elapsed=$((SECONDS - pywws_since)) tries=$(($(not_found) - said))
((tries >= (elapsed - 10) / 61 && tries <= 1 + elapsed / 59)) ||
  fail "pywws.service started $tries times in $elapsed s, not once a minute"
# A station folder under /home (0700, as Debian 12 makes it) by drop-ins, then the blocks.
station=/home/pi/station log=/home/pi/station/QQ9QQ-7.Log owner=pi:weather
sandbox_run adduser --quiet --disabled-password --comment pi pi
[ "$(sandbox_run stat -c %a /home/pi)" = 700 ] || fail "/home/pi is not 0700"
for text in brinok.service.d 'enable --now brinok.path' 'enable --now pywws'; do setup "$text"; done
sandbox_run grep -qx "directory = $station" /var/lib/pywws/weather.ini ||
  fail "running the pywws block again changed the station folder in weather.ini"
write_log 100 3 0 0 0.00 998 50
published 100/003g...t000P000b09980h50

# Debian's direwolf.service, unmasked, on 5 s of silence (ADEVICE stdin null): it beacons at 2 s,
# then ends. The operator's copy of the recipe: no sound card, this folder.
printf '[Service]\nExecStart=\nExecStart=%s\n' \
  "/bin/sh -c 'sleep 5 | exec /usr/bin/direwolf -c /etc/direwolf.conf -t 0 -q hd'" |
  sandbox_run sh -c 'systemctl unmask direwolf.service && cd /run/systemd/system &&
  mkdir direwolf.service.d && cat >direwolf.service.d/ci.conf && systemctl daemon-reload'
sandbox_run sh -c "sed -e 's/^ADEVICE .*/ADEVICE stdin null/' -e 's|/var/lib/brinok/|$station/|' \
  /usr/share/doc/brinok/examples/brinok-beacon.conf >/root/brinok-beacon.conf"
# Sets $packet to what the run CMD... started sent, once ended (its lines in $work/direwolf.log).
sent() {
  journal -u direwolf.service | tail -n +$((before + 1)) >"$work/direwolf.log"
  grep -q '^\[0L\] ' "$work/direwolf.log" && ! sandbox_run systemctl -q is-active direwolf.service
}
direwolf_run() {
  before=$(journal -u direwolf.service | wc -l)
  "$@"
  poll 20 sent || fail "direwolf.service sent nothing, or did not end: $(cat "$work/direwolf.log")"
  packet=$(sed -n 's/^\[0L\] //p' "$work/direwolf.log")
}
position='N0CALL-13>APDW[0-9]+:!4237\.14N/07120\.83W_'
direwolf_run setup /etc/direwolf.conf
[[ $packet =~ ^${position}100/003g\.\.\.t000P000b09980h50$ ]] ||
  fail "direwolf sent '$packet', not the report in $station"
# Out of group weather, direwolf may not enter /home/pi: the position alone, and the reason.
sandbox_run gpasswd --delete direwolf weather >/dev/null
direwolf_run sandbox_run systemctl restart direwolf.service
[[ $packet =~ ^${position}$ ]] || fail "direwolf sent '$packet' without access"
grep -q "BRINOK.TXT.*Permission denied" "$work/direwolf.log" ||
  fail "direwolf's journal does not say why the report could not be read"
# The cron line: one, every minute, not as root (which would replace a read-only report). Run by
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
