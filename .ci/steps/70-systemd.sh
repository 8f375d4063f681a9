#!/usr/bin/env bash
# The .deb and the README's setup in a booted systemd (.ci/sandbox.sh): the
# path and timer units, pywws's unit without a station, a station folder
# under /home, Debian's direwolf.service reading the report, the cron line.
# shellcheck source=.ci/common.sh
. "$(dirname "$0")/../common.sh"
. .ci/sandbox.sh
trap 'sandbox_stop $?; rm -rf "$work"' EXIT
as_user() { sandbox_run runuser -u "$1" -- sh -c "$2"; }

cmake --workflow --preset package
sandbox_start
sandbox_run sh -c 'cat >/root/brinok.deb && dpkg -i /root/brinok.deb >/dev/null' \
  <"build/release/brinok_${version}_$(dpkg --print-architecture).deb"
# Runs the README's block of commands with $1 in it (less its list item's indent) in /root.
setup() {
  local block
  block=$(awk -v want="$1" '
    /^ *```sh$/ { block = ""; inside = 1; indent = index($0, "`") - 1; next }
    /^ *```$/ { if (inside && index(block, want)) print block; inside = 0; next }
    inside { block = block substr($0, indent + 1) "\n" }' README.md)
  [ -n "$block" ] || fail "the README has no block of commands with '$1'"
  printf 'cd /root\n%s\n' "$block" | sandbox_run sh -e || fail "the README's '$1' block failed"
}
for _ in 1 2; do setup 'enable --now brinok.path' && setup 'enable --now pywws'; done
pywws_since=$SECONDS
[ "$(sandbox_run systemctl is-active brinok.path brinok.timer)" = $'active\nactive' ] ||
  fail "brinok.path or brinok.timer is not active"
[[ " $(sandbox_run id -nG pywws) " == *" weather "* ]] ||
  fail "the setup did not put the weather program's account into group weather"
# verify checks that ExecStart='s program and Documentation='s manual are
# there, but only warns of what it cannot parse: any message fails.
units=(brinok.service brinok.path brinok.timer)
messages=$(sandbox_run systemd-analyze verify "${units[@]/#//etc/systemd/system/}" \
  /etc/systemd/system/pywws.service 2>&1 || echo "(verify failed)")
[ -z "$messages" ] || fail "systemd-analyze verify: $messages"

# The sandbox has no USB devices: pywws must stop, saying so, and wait a
# minute to start again (counted after the timer's tests). The second
# round's stop may end the first round's start before it has said so.
pywws_state() {
  for p in ActiveState SubState Result; do sandbox_run systemctl show -P $p pywws.service; done |
    xargs
}
not_found() {
  sandbox_run journalctl -u pywws.service -o cat |
    grep -cx 'OSError: Weather station device not found' || true
}
retrying() {
  [[ $(pywws_state) == "activating auto-restart exit-code" && $(not_found) -ge 1 ]]
}
poll 10 retrying ||
  fail "pywws.service is '$(pywws_state)' after saying $(not_found) times it found no station"
said=$(not_found)
[ "$(sandbox_run systemctl show -P RestartUSec pywws.service)" = 1min ] ||
  fail "pywws.service does not wait a minute before it starts again"
station=/var/lib/brinok log=/var/lib/brinok/QQ9QQ-7.Log
write_log() { as_user pywws "printf '%s\r\n' $* >$log"; }
# Each run that found a log ends with one journal line from ExecStopPost=.
exits() {
  sandbox_run journalctl -u brinok.service -o cat | grep "^exit status [0-9]*${1:-}" || true
}
ended() { [ "$(exits | wc -l)" -ge "$1" ]; }
# Every journal line about the units given, systemd's own included.
unit_lines() { sandbox_run journalctl "${@/#/--unit=}" -o cat | wc -l; }
state() { sandbox_run systemctl is-active brinok.service || true; }
not_failed() { [ "$(state)" != failed ]; }
# No start of the service waiting or under way.
settled() {
  [ -z "$(sandbox_run systemctl list-jobs --no-legend brinok.service)" ] && [[ $(state) != *ing ]]
}
runs=0
expect_run() {
  runs=$((runs + 1))
  poll 10 ended "$runs" || fail "run $runs ($1) did not end in 10 s"
  [ "$(exits | sed -n "${runs}p")" = "$1" ] ||
    fail "run $runs logged '$(exits | sed -n "${runs}p")', not '$1'"
  poll 5 settled || fail "brinok.service did not settle"
}
expect_report() {
  [ "$(sandbox_run sed -n 2p "$station/BRINOK.TXT" | tr -d '\r')" = "$1" ] ||
    fail "report line 2 is '$(sandbox_run sed -n 2p "$station/BRINOK.TXT")', not '$1'"
  sandbox_run test ! -e "$log" || fail "the log is still there after status 0"
}
published() { expect_run "exit status 0: report published" && expect_report "$1"; }
# Waits until the timer's next start, on the full minute, is $1 s away, and
# its last (within AccuracySec=1s) 3 s past.
clear_of_timer() {
  local s
  while s=$((10#$(date +%S))); ((s >= 60 - $1 || s < 3)); do sleep 0.5; done
}
last_start() { sandbox_run systemctl show -P LastTriggerUSecMonotonic brinok.timer; }
started_since() { [ "$(last_start)" != "$1" ]; }
wait_for_timer() {
  poll 70 started_since "$(last_start)" || fail "the timer did not start in 70 s"
  poll 5 settled || fail "brinok.service did not settle"
}

# brinok.path, on a log written in place and one renamed into place.
sandbox_run test ! -e "$log" || fail "enabling brinok.path created $log"
write_log 270 5 12 68.5 0.12 1013.2 55
published 270/005g012t068P012b10132h55
[ "$(sandbox_run stat -c %U "$station/BRINOK.TXT")" = weather ] ||
  fail "the report does not belong to the weather program's user"
as_user pywws "printf '%s\r\n' 45.9 15 22 -4 1.25 1013 70 >$log.tmp && mv $log.tmp $log"
published 045/015g022t-04P125b10130h70
write_log 1 2
expect_run "exit status 2: log rejected (not seven lines) and deleted"
sandbox_run test ! -e "$log" || fail "a rejected log was kept"
not_failed || fail "a rejected log marked the unit failed"
# Clear of the timer, which would run the kept log again.
clear_of_timer 10
write_log -90 5 12 68.5 0.12 1013.2 55
expect_run "exit status 1: run failed, the log is kept for the next run"
! not_failed || fail "a failed run did not mark the unit failed"
sandbox_run test -f "$log" || fail "a failed run did not keep the log"
# Removing the log is a change too: the run finds none, and neither it nor systemd
# writes a line. (Until that run has ended, the path unit would miss the next log.)
sleep 0.5
before=$(unit_lines "${units[@]}")
as_user weather "rm $log"
ended_well() { settled && not_failed; }
poll 5 ended_well || fail "a run that found no log left the unit failed"
sleep 0.5
[ "$(unit_lines "${units[@]}")" -eq "$before" ] || fail "a run that found no log wrote:
$(sandbox_run journalctl "${units[@]/#/--unit=}" -o cat | tail -n +$((before + 1)))"
sandbox_run systemctl restart brinok.path
sandbox_run test ! -e "$log" || fail "restarting brinok.path created $log"
write_log 0 0 0 N/A 0.00 998.5 100
published .../...g...t...P000b09985h00

# brinok.timer: a second log written as soon as the first one's run has deleted it
# (a fixed delay would miss the run), the report made read-only at once: the timer's
# next run fails and keeps the log, no run follows in that minute, and with the report
# writable the timer's run after that converts the log.
clear_of_timer 10
published=$(exits ': report published' | wc -l) failed=$(exits ': run failed' | wc -l)
timer_lines=$(unit_lines brinok.timer)
# shellcheck disable=SC2016 # expanded by the shell in the sandbox
sandbox_run sh -c 'write() { runuser -u pywws -- sh -c "printf \"%s\r\n\" $2 >$1"; }
  write "$0" "90 8 14 50 0.02 1009.9 60"
  while [ -e "$0" ]; do sleep 0.005; done
  chmod a-w "$1"
  write "$0" "180 9 16 51 0.03 1010.1 61"' "$log" "$station/BRINOK.TXT"
wait_for_timer
sandbox_run test -e "$log" || fail "a run with the report read-only did not keep the log"
while [ "$(date +%S)" -lt 50 ]; do sleep 0.5; done
sandbox_run chmod u+w "$station/BRINOK.TXT"
# The timer's failed run; and the path unit's, where it saw the second log.
now=$(exits ': run failed' | wc -l)
((now - failed >= 1 && now - failed <= 2)) ||
  fail "$((now - failed)) failed runs, not the timer's (and the path unit's)"
wait_for_timer
now=$(exits ': report published' | wc -l)
[ $((now - published)) -eq 2 ] || fail "$((now - published)) reports for two logs"
expect_report 180/009g016t051P003b10101h61
[ "$(unit_lines brinok.timer)" -eq "$timer_lines" ] || fail "brinok.timer wrote to the journal"
runs=$(exits | wc -l)

# pywws.service once a minute, not in a loop: each start after the setup a
# minute after the last failed (one more where the journal was late).
elapsed=$((SECONDS - pywws_since)) tries=$(($(not_found) - said))
((tries >= (elapsed - 10) / 61 && tries <= 1 + elapsed / 59)) ||
  fail "pywws.service started $tries times in $elapsed s, not once a minute"

# A station folder under /home (0700, as Debian 12 makes it) by drop-ins, then the blocks.
station=/home/pi/station log=/home/pi/station/QQ9QQ-7.Log
sandbox_run adduser --quiet --disabled-password --comment pi pi
[ "$(sandbox_run stat -c %a /home/pi)" = 700 ] || fail "/home/pi is not 0700"
for text in brinok.service.d 'enable --now brinok.path' 'enable --now pywws'; do
  setup "$text"
done
sandbox_run grep -qx "directory = $station" /var/lib/pywws/weather.ini ||
  fail "running the pywws block again changed the station folder in weather.ini"
write_log 100 3 0 0 0.00 998 50
published 100/003g...t000P000b09980h50
[ "$(sandbox_run stat -c %U:%G "$station/BRINOK.TXT")" = pi:weather ] ||
  fail "the report in $station is not pi's, of group weather"

# Debian's direwolf.service, unmasked, on 5 s of silence (ADEVICE stdin null): it beacons
# at 2 s, then ends. The operator's copy of the recipe: no sound card, this folder.
sandbox_run sh -c 'systemctl unmask direwolf.service && cd /run/systemd/system &&
  mkdir direwolf.service.d && cat >direwolf.service.d/ci.conf && systemctl daemon-reload' <<'UNIT'
[Service]
ExecStart=
ExecStart=/bin/sh -c 'sleep 5 | exec /usr/bin/direwolf -c /etc/direwolf.conf -t 0 -q hd'
UNIT
sandbox_run sh -c "sed -e 's/^ADEVICE .*/ADEVICE stdin null/' -e 's|/var/lib/brinok/|$station/|' \
  /usr/share/doc/brinok/examples/brinok-beacon.conf >/root/brinok-beacon.conf"
# Its journal lines after the first $1 into $work/direwolf.log; a packet sent, and ended?
sent() {
  sandbox_run journalctl -u direwolf.service -o cat | tail -n +$(($1 + 1)) >"$work/direwolf.log"
  grep -q '^\[0L\] ' "$work/direwolf.log" &&
    [ "$(sandbox_run systemctl is-active direwolf.service)" != active ]
}
# Sets $packet to what the direwolf.service run started by CMD... sent.
direwolf_run() {
  local before
  before=$(sandbox_run journalctl -u direwolf.service -o cat | wc -l)
  "$@"
  poll 20 sent "$before" ||
    { cat "$work/direwolf.log" >&2; fail "direwolf.service sent nothing, or did not end"; }
  packet=$(sed -n 's/^\[0L\] //p' "$work/direwolf.log")
}
position='N0CALL-13>APDW[0-9]+:!4237\.14N/07120\.83W_'
direwolf_run setup /etc/direwolf.conf
[[ $packet =~ ^${position}100/003g\.\.\.t000P000b09980h50$ ]] ||
  fail "direwolf sent '$packet', not the report in $station"
# Out of group weather, direwolf's account may not enter /home/pi: the
# position goes alone, and the journal says why.
sandbox_run gpasswd --delete direwolf weather >/dev/null
direwolf_run sandbox_run systemctl restart direwolf.service
[[ $packet =~ ^${position}$ ]] || fail "direwolf sent '$packet' without access"
grep -q "BRINOK.TXT.*Permission denied" "$work/direwolf.log" ||
  fail "direwolf's journal does not say why the report could not be read"

# The cron line: one, every minute, as the weather program's user (root would replace a
# read-only report). Run by sh in this folder, the units stopped so that the lines tagged
# brinok are its own (journald may miss the _COMM of a logger that has exited): runs with
# no log and with a good one log nothing, a rejected log one line.
mapfile -t entries < <(grep -v -e '^#' -e '^$' contrib/cron/brinok.cron)
[ ${#entries[@]} -eq 1 ] || fail "brinok.cron holds ${#entries[@]} entries"
read -r minute hour day month weekday cron_user command <<<"${entries[0]}"
[ "$minute $hour $day $month $weekday" = "* * * * *" ] || fail "brinok.cron is not every minute"
[[ $cron_user =~ ^[a-z_][a-z0-9_-]*$ && $cron_user != root ]] ||
  fail "brinok.cron runs as '$cron_user', not as the weather program's user"
command=${command//\/var\/lib\/brinok/$station}
sandbox_run systemctl disable --now brinok.path brinok.timer 2>/dev/null
tagged() { sandbox_run journalctl -t brinok -o cat | tail -n +$(($1 + 1)); }
more_tagged() { [ -n "$(tagged "$1")" ]; }
before=$(tagged 0 | wc -l)
as_user pi "$command"
write_log 90 8 14 50 0.02 1009.9 60
as_user pi "$command"
expect_report 090/008g014t050P002b10099h60
write_log 1 2
as_user pi "$command"
poll 5 more_tagged "$before" || true
sleep 0.5
[ "$(tagged "$before")" = "exit status 2: log rejected (not seven lines) and deleted" ] ||
  fail "the cron line logged '$(tagged "$before")', not one line for the rejected log"
sandbox_stop 0
