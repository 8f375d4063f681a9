#!/usr/bin/env bash
# The systemd recipe, run for real: systemd boots as PID 1 in private
# namespaces on a copy-on-write view of this machine (.ci/sandbox/), the .deb
# is installed there and set up with the README's commands, and a weather
# program's logs are written into the station folder: the path unit must
# convert each one, the service must log one journal line per run and fail
# only on exit status 1, a station folder under /home must work, the timer
# must start a run, and the cron line must log through logger. If systemd
# cannot boot here, the step fails.
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
as_user() { sandbox_run runuser -u "$1" -- sh -c "$2"; }

echo "-- install and set up as the README says"
in_box sh -c 'cat >/root/brinok.deb' <"$deb"
in_box dpkg -i /root/brinok.deb >/dev/null
# The README's block of commands that enables the path unit, as written.
awk '/^ *```sh$/ { block = ""; inside = 1; next }
     /^ *```$/ { if (inside && block ~ /enable --now brinok\.path/) print block
                 inside = 0; next }
     inside { sub(/^  /, ""); block = block $0 "\n" }' \
  README.md >"$work/setup.sh"
grep -q 'enable --now brinok.path' "$work/setup.sh" ||
  fail "the README has no block of commands that enables brinok.path"
cat "$work/setup.sh"
in_box sh -e <"$work/setup.sh"
[ "$(in_box systemctl is-active brinok.path)" = active ] ||
  fail "brinok.path is not active"

station=/var/lib/brinok
log=$station/QQ9QQ-7.Log
report=$station/BRINOK.TXT
# Each run ends with one journal line from ExecStopPost=; runs are counted
# by those lines.
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
# Checks line 2 of the report and that the log is gone.
expect_report() {
  local line
  line=$(in_box sed -n 2p "$report" | tr -d '\r')
  [ "$line" = "$1" ] || fail "report line 2 is '$line', not '$1'"
  in_box test ! -e "$log" || fail "the log is still there after status 0"
}
# Writes a log of the given values as the weather program would, as $user.
user=weather
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
as_user weather "printf '%s\r\n' 45.9 15 22 -4 1.25 1013 70 >$station/log.tmp &&
  mv $station/log.tmp $log"
expect_run "exit status 0: report published"
expect_report 045/015g022t-04P125b10130h70
write_log 1 2
expect_run "exit status 2: log rejected (not seven lines) and deleted"
in_box test ! -e "$log" || fail "a rejected log was kept"
[ "$(in_box systemctl is-failed brinok.service || true)" != failed ] ||
  fail "a rejected log marked the unit failed"
write_log -90 5 12 68.5 0.12 1013.2 55
expect_run "exit status 1: run failed, the log is kept for the next run"
[ "$(in_box systemctl is-failed brinok.service || true)" = failed ] ||
  fail "a failed run did not mark the unit failed"
in_box test -f "$log" || fail "a failed run did not keep the log"
# Removing the log is a change too: the next run finds none.
as_user weather "rm $log"
expect_run "exit status 3: no weather log"
[ "$(in_box systemctl is-failed brinok.service || true)" != failed ] ||
  fail "a run that found no log left the unit failed"
in_box systemctl restart brinok.path
in_box test ! -e "$log" || fail "restarting brinok.path created $log"
write_log 0 0 0 N/A 0.00 998.5 100
expect_run "exit status 0: report published"
expect_report .../...g...t...P000b09985h00

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

echo "-- brinok.timer"
in_box systemctl disable --now brinok.path 2>/dev/null
# The log is there before the timer starts, so its first run finds it.
write_log 360 10 15 -12 2.50 1020.4 45
in_box cp /usr/share/doc/brinok/examples/brinok.timer /etc/systemd/system/
in_box systemctl daemon-reload
in_box systemctl enable --now brinok.timer 2>/dev/null
start=$SECONDS
# It fires on the next full minute.
expect_run "exit status 0: report published" 70
echo "the timer started brinok after $((SECONDS - start)) s"
expect_report 360/010g015t-12P250b10204h45

echo "-- cron line"
# The example's command, with the folder of this station, run by sh as cron
# runs it; with no log, it logs status 3 through logger.
command=$(grep -v '^#' contrib/cron/brinok.cron | grep -v '^$' |
  cut -d' ' -f7-)
command=${command//\/var\/lib\/brinok/$station}
as_user pi "$command"
line=
for _ in $(seq 50); do
  line=$(in_box journalctl -t brinok _COMM=logger -o cat)
  [ -n "$line" ] && break
  sleep 0.1
done
[ "$line" = "exit status 3: no weather log" ] ||
  fail "the cron line logged '$line'"
echo "cron line: $line"

echo "-- the journal"
in_box journalctl -t brinok --no-pager -o short

sandbox_stop
echo "systemd recipes: all checks passed"
