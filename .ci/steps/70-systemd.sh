#!/usr/bin/env bash
# The systemd recipe, run for real: systemd boots as PID 1 in private
# namespaces on a copy-on-write view of this machine (.ci/sandbox/), the .deb
# is installed there and set up with the README's commands, and a weather
# program's logs are written into the station folder: the path unit must
# convert each one, the service must log one journal line per run that did
# something, none for a run that found no log, and fail only on exit status
# 1; the timer beside the path unit must convert a log written during a run
# and a log a failed run kept, once a minute and not in a loop; a station
# folder under /home must work, and the cron line must log through logger
# what is worth logging. If systemd cannot boot here, the step fails.
set -euo pipefail
cd "$(dirname "$0")/../.."

need=()
[ -x /usr/lib/systemd/systemd ] || need+=(systemd)
command -v unshare >/dev/null && command -v nsenter >/dev/null ||
  need+=(util-linux)
command -v dpkg-deb >/dev/null || need+=(dpkg-dev)
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}"
fi
export LC_ALL=C.UTF-8

work=$(mktemp -d)
# shellcheck source=.ci/sandbox/systemd.sh
. .ci/sandbox/systemd.sh
trap 'sandbox_stop; rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*" >&2
  sandbox_run journalctl --no-pager -n 40 >&2 || true
  exit 1
}

echo "-- package"
cmake --preset release >/dev/null
cmake --build --preset release
cpack --preset release -G DEB -B "$work/packages" >/dev/null
deb=$(echo "$work"/packages/brinok_*.deb)
[ -f "$deb" ] || fail "cpack made no .deb"

echo "-- boot"
start=$SECONDS
sandbox_start
echo "systemd booted in $((SECONDS - start)) s: $(sandbox_run systemctl \
  list-units --state=active --no-legend --plain | wc -l) units active"
in_box() { sandbox_run "$@"; }
as_user() { sandbox_run runuser -u "$1" -- sh -c "$2" "${@:3}"; }

echo "-- install and set up as the README says, twice"
in_box sh -c 'cat >/root/brinok.deb' <"$deb"
in_box dpkg -i /root/brinok.deb >/dev/null
# The weather program's account, as its own installation made it.
in_box useradd --system --user-group pywws
# The README's block of commands that enables the path unit, as written.
awk '/^ *```sh$/ { block = ""; inside = 1; next }
     /^ *```$/ { if (inside && block ~ /enable --now brinok\.path/) print block
                 inside = 0; next }
     inside { sub(/^  /, ""); block = block $0 "\n" }' \
  README.md >"$work/setup.sh"
grep -q 'enable --now brinok.path' "$work/setup.sh" ||
  fail "the README has no block of commands that enables brinok.path"
cat "$work/setup.sh"
for round in 1 2; do
  in_box sh -e <"$work/setup.sh" || fail "the README's setup failed in round $round"
done
for unit in brinok.path brinok.timer; do
  [ "$(in_box systemctl is-active $unit)" = active ] || fail "$unit is not active"
done
[[ " $(in_box id -nG pywws) " == *" weather "* ]] ||
  fail "the setup did not put the weather program's account into group weather"

station=/var/lib/brinok
log=$station/QQ9QQ-7.Log
report=$station/BRINOK.TXT
# Each run that found a log ends with one journal line from ExecStopPost=;
# those runs are counted by those lines.
runs=0
journal_lines() {
  in_box journalctl -u brinok.service -o cat | grep '^exit status' || true
}
# Waits (at most $2 seconds) for the next run to end, checks its journal line
# against $1 and waits for the unit to settle.
expect_run() {
  local want=$1 seconds=${2:-10} line='' state
  runs=$((runs + 1))
  for _ in $(seq $((seconds * 5))); do
    line=$(journal_lines | sed -n "${runs}p")
    [ -n "$line" ] && break
    sleep 0.2
  done
  [ -n "$line" ] || fail "run $runs ($want) did not end in $seconds s"
  [ "$line" = "$want" ] || fail "run $runs logged '$line', not '$want'"
  for _ in $(seq 50); do
    state=$(in_box systemctl is-active brinok.service || true)
    case $state in activating | deactivating) sleep 0.1 ;; *) break ;; esac
  done
  echo "run $runs: $line (unit $state)"
}
# Waits until the timer is at least 3 s away from its next start, on the
# full minute.
clear_of_timer() {
  while [ "$(date +%S)" -ge 57 ]; do sleep 0.5; done
}
# Waits (at most 70 s) for the timer's next start, and for the run it
# started to end.
wait_for_timer() {
  local before state
  before=$(in_box systemctl show -P LastTriggerUSecMonotonic brinok.timer)
  for _ in $(seq 700); do
    [ "$(in_box systemctl show -P LastTriggerUSecMonotonic brinok.timer)" = \
      "$before" ] || break
    sleep 0.1
  done
  [ "$(in_box systemctl show -P LastTriggerUSecMonotonic brinok.timer)" != \
    "$before" ] || fail "the timer did not start within 70 s"
  for _ in $(seq 50); do
    state=$(in_box systemctl is-active brinok.service || true)
    case $state in activating | deactivating) sleep 0.1 ;; *) break ;; esac
  done
}
# Checks line 2 of the report and that the log is gone.
expect_report() {
  local line
  line=$(in_box sed -n 2p "$report" | tr -d '\r')
  [ "$line" = "$1" ] || fail "report line 2 is '$line', not '$1'"
  in_box test ! -e "$log" || fail "the log is still there after status 0"
}
# Writes a log of the given values as the weather program would, as $user.
user=pywws
write_log() {
  as_user "$user" "printf '%s\r\n' $* >$log"
}

echo "-- brinok.path"
in_box test ! -e "$log" || fail "enabling brinok.path created $log"
write_log 270 5 12 68.5 0.12 1013.2 55
expect_run "exit status 0: report published"
expect_report 270/005g012t068P012b10132h55
[ "$(in_box stat -c %U "$report")" = weather ] ||
  fail "the report does not belong to the weather program's user"
# Written under another name, then renamed into place in one step.
as_user pywws "printf '%s\r\n' 45.9 15 22 -4 1.25 1013 70 >$station/log.tmp &&
  mv $station/log.tmp $log"
expect_run "exit status 0: report published"
expect_report 045/015g022t-04P125b10130h70
write_log 1 2
expect_run "exit status 2: log rejected (not seven lines) and deleted"
in_box test ! -e "$log" || fail "a rejected log was kept"
[ "$(in_box systemctl is-failed brinok.service || true)" != failed ] ||
  fail "a rejected log marked the unit failed"
# Clear of the timer's next start, which would run the kept log again.
clear_of_timer
write_log -90 5 12 68.5 0.12 1013.2 55
expect_run "exit status 1: run failed, the log is kept for the next run"
[ "$(in_box systemctl is-failed brinok.service || true)" = failed ] ||
  fail "a failed run did not mark the unit failed"
in_box test -f "$log" || fail "a failed run did not keep the log"
# Removing the log is a change too: the next run finds none, and says
# nothing.
as_user weather "rm $log"
for _ in $(seq 50); do
  [ "$(in_box systemctl is-failed brinok.service || true)" = failed ] || break
  sleep 0.1
done
[ "$(in_box systemctl is-failed brinok.service || true)" != failed ] ||
  fail "a run that found no log left the unit failed"
[ "$(journal_lines | wc -l)" -eq "$runs" ] ||
  fail "a run that found no log wrote to the journal"
in_box systemctl restart brinok.path
in_box test ! -e "$log" || fail "restarting brinok.path created $log"
write_log 0 0 0 N/A 0.00 998.5 100
expect_run "exit status 0: report published"
expect_report .../...g...t...P000b09985h00

echo "-- brinok.timer: quiet when there is no log"
# The timer's run that finds no log, the ordinary case, leaves no line in
# the journal, from brinok or from systemd about its units.
units=(-u brinok.service -u brinok.path -u brinok.timer)
quiet_before=$(in_box journalctl "${units[@]}" -o cat | wc -l)
start=$SECONDS
wait_for_timer
quiet_after=$(in_box journalctl "${units[@]}" -o cat | wc -l)
echo "a run with no log after $((SECONDS - start)) s:" \
  "$((quiet_after - quiet_before)) journal lines"
[ "$quiet_after" -eq "$quiet_before" ] ||
  fail "a run that found no log wrote: $(in_box journalctl "${units[@]}" -o cat | tail -n +$((quiet_before + 1)))"

echo "-- a log written during a run"
# Two logs: the second written as soon as the run started by the first has
# deleted it, while that run is still ending (the path unit's trigger,
# milliseconds after the first log, starts the service more slowly than a
# weather program may write twice, so a fixed delay would not land within the
# run). It must be converted too, by the path unit or at the latest by the
# timer, without another write.
published=$(journal_lines | grep -c 'report published' || true)
start=$SECONDS
# shellcheck disable=SC2016 # expanded by the shell in the sandbox
gap=$(as_user pywws 'printf "%s\r\n" 90 8 14 50 0.02 1009.9 60 >$0; t=$(date +%s%N)
  while [ -e $0 ]; do sleep 0.005; done
  printf "%s\r\n" 180 9 16 51 0.03 1010.1 61 >$0
  echo $((($(date +%s%N) - t) / 1000000))' "$log")
echo "the second log written ${gap} ms after the first"
for _ in $(seq 700); do
  in_box test -e "$log" || break
  sleep 0.1
done
in_box test ! -e "$log" || fail "the second log was not converted within 70 s"
sleep 0.5
now=$(journal_lines | grep -c 'report published' || true)
runs=$(journal_lines | wc -l)
echo "both logs gone after $((SECONDS - start)) s, $((now - published)) reports published"
[ $((now - published)) -eq 2 ] ||
  fail "$((now - published)) reports published for two logs, not 2"
expect_report 180/009g016t051P003b10101h61

echo "-- a log kept by a failed run, once the cause is gone"
# The report read-only for a minute: the path unit's run fails and keeps
# the log, the timer runs it again once a minute, not in a loop; made
# writable, the next timer run converts it.
clear_of_timer
failed=$(journal_lines | grep -c 'run failed' || true)
in_box chmod a-w "$report"
write_log 0 4 9 33 0.00 1001.0 88
start=$SECONDS
sleep 60
in_box chmod u+w "$report"
in_box test -e "$log" || fail "the failed runs did not keep the log"
now=$(journal_lines | grep -c 'run failed' || true)
echo "report read-only for $((SECONDS - start)) s: $((now - failed)) failed runs"
((now - failed >= 2 && now - failed <= 3)) ||
  fail "$((now - failed)) failed runs in a minute, not 2 (the path unit's and the timer's)"
start=$SECONDS
wait_for_timer
echo "the kept log converted $((SECONDS - start)) s after the report became writable"
runs=$(journal_lines | wc -l)
[ "$(journal_lines | tail -n 1)" = "exit status 0: report published" ] ||
  fail "the timer's run did not publish the kept log"
expect_report 000/004g009t033P000b10010h88

echo "-- a station folder under /home"
station=/home/pi/station
log=$station/QQ9QQ-7.Log
report=$station/BRINOK.TXT
user=pi
in_box useradd --create-home --user-group pi
as_user pi "mkdir $station"
# The README's lines for such a station (its one ini block, "# unit" then
# Key=value lines), each replacing the line of that key in the copy.
awk '/^ *```ini$/ { inside = 1; next } /^ *```$/ { inside = 0 }
     inside { sub(/^ */, ""); print }' README.md >"$work/home.ini"
unit=
edits=0
while read -r line; do
  case $line in
    "# "*) unit=/etc/systemd/system/${line#"# "} ;;
    *=*)
      in_box grep -q "^${line%%=*}=" "$unit" ||
        fail "the README changes ${line%%=*}=, which $unit does not have"
      in_box sed -i "s|^${line%%=*}=.*|$line|" "$unit"
      edits=$((edits + 1))
      ;;
  esac
done <"$work/home.ini"
[ "$edits" -eq 4 ] || fail "the README's /home block has $edits lines, not 4"
in_box systemctl daemon-reload
in_box systemctl restart brinok.path
write_log 100 3 0 0 0.00 998 50
expect_run "exit status 0: report published"
expect_report 100/003g...t000P000b09980h50

echo "-- cron line"
# The example's command, with the folder of this station, run by sh as cron
# runs it: with no log it logs nothing, with a rejected log status 2 through
# logger.
in_box systemctl disable --now brinok.path brinok.timer 2>/dev/null
command=$(grep -v '^#' contrib/cron/brinok.cron | grep -v '^$' |
  cut -d' ' -f7-)
command=${command//\/var\/lib\/brinok/$station}
# The units are stopped, so the lines tagged brinok from here on are the
# cron line's (journald may miss the _COMM of a logger that has already
# exited, so it cannot tell them apart).
tagged() { in_box journalctl -t brinok -o cat | wc -l; }
before=$(tagged)
as_user pi "$command"
write_log 1 2
as_user pi "$command"
line=
for _ in $(seq 50); do
  [ "$(tagged)" -gt "$before" ] && break
  sleep 0.1
done
sleep 0.5
[ "$(tagged)" -eq $((before + 1)) ] ||
  fail "the cron line logged $(($(tagged) - before)) lines for a run with no log and a rejected one, not 1"
line=$(in_box journalctl -t brinok -o cat | tail -n 1)
[ "$line" = "exit status 2: log rejected (not seven lines) and deleted" ] ||
  fail "the cron line logged '$line'"
echo "cron line: $line"

echo "-- the journal"
in_box journalctl "${units[@]}" --no-pager -o short

sandbox_stop
echo "systemd recipes: all checks passed"
