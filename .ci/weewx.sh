#!/usr/bin/env bash
# WeeWX on a Linux station, in a booted systemd (.ci/sandbox.sh): brinok's .deb, WeeWX 5.4.0 laid
# out as its Debian package lays it out, its simulator storing a record every minute in METRICWX
# units; brinok's extension set up as brinok-setup weewx will do it, then brinok-setup position and
# direwolf (beaconing every 15 s). Every archive record goes on the air with its own values, as
# decode_aprs reads them back; restarted to catch up on records days old, WeeWX puts none of them on
# the air and says why in its log. It waits on WeeWX's clock for minutes: .ci/run runs it beside the
# other steps, with the .deb it made as $1 (without it, the step makes one). WeeWX's source is
# $BRINOK_WEEWX_SOURCE (its src folder), else the shared copy beside the repository (the default
# that tests/CMakeLists.txt gives too).
# shellcheck source=.ci/common.sh
. "$(dirname "$0")/common.sh"
. .ci/sandbox.sh
weewx=$(dirname "${BRINOK_WEEWX_SOURCE:-../shared/weewx-5.4.0/src}")
[ -f "$weewx/src/weewxd.py" ] || fail "no WeeWX source in $weewx"
# Runs the function $1 of this script in the sandbox, as root, with the arguments that follow.
in_sandbox() { sandbox_run bash -euo pipefail -c "$(declare -f "$1"); $1 \"\$@\"" _ "${@:2}"; }

# What WeeWX's Debian package does when installed (pkg/debian/rules and postinst), with WeeWX's
# tree in $1 and debconf's default answers (the simulator): its code in /usr/share/weewx, weewxd and
# weectl in /usr/bin, /etc/weewx/weewx.conf from its template, the account and group weewx, the
# skins and the user folder /etc/weewx/bin/user (where extensions go), the database folder
# /var/lib/weewx and the reports' /var/www/html/weewx, /etc/weewx of weewx with its .conf files
# 0660, and weewx.service enabled. The package then starts it; here the caller does, once the
# station is set. Left out: the udev rules, logrotate's and rsyslog's files, the documents.
weewx_package() {
  local tree=$1 entry
  mkdir -p /usr/share/weewx /etc/weewx/systemd
  cp -r "$tree"/src/* /usr/share/weewx
  cp "$tree"/pkg/etc/systemd/system/weewx.service "$tree"/pkg/etc/systemd/system/weewx@.service \
    /etc/weewx/systemd
  sed -e 's%HTML_ROOT = public_html%HTML_ROOT = /var/www/html/weewx%' \
    -e 's%SQLITE_ROOT = .*%SQLITE_ROOT = /var/lib/weewx%' \
    "$tree/src/weewx_data/weewx.conf" >/etc/weewx/weewx.conf
  cp /etc/weewx/weewx.conf /etc/weewx/weewx.conf-5.4.0
  for entry in weewxd weectl; do
    sed -e 's%WEEWX_BINDIR=.*%WEEWX_BINDIR=/usr/share/weewx%' \
      -e 's%WEEWX_PYTHON=.*%WEEWX_PYTHON=python3%' "$tree/bin/$entry" >"/usr/bin/$entry"
    chmod 0755 "/usr/bin/$entry"
  done
  addgroup --quiet --system weewx
  adduser --quiet --system --ingroup weewx --no-create-home --home /var/lib/weewx \
    --disabled-password weewx
  python3 /usr/share/weewx/weectl.py station reconfigure --config=/etc/weewx/weewx.conf \
    --driver=weewx.drivers.simulator --units=us --location="Santa's Workshop, North Pole" \
    --latitude=90.000 --longitude=0.000 --altitude=0,meter --register=n --no-prompt \
    --no-backup >/dev/null
  cp -rp /usr/share/weewx/weewx_data/skins /etc/weewx
  mkdir -p /etc/weewx/bin/user
  cp /usr/share/weewx/weewx_data/bin/user/__init__.py \
    /usr/share/weewx/weewx_data/bin/user/extensions.py /etc/weewx/bin/user
  mkdir -p /var/lib/weewx /var/www/html/weewx
  chmod 2775 /var/lib/weewx
  chown -R weewx:weewx /var/lib/weewx
  python3 -m compileall -q -x user /usr/share/weewx
  for entry in /var/www/html/weewx /etc/weewx; do
    find "$entry" -type f -exec chmod 664 {} +
    find "$entry" -type d -exec chmod 2775 {} +
    chown -R weewx:weewx "$entry"
  done
  chmod 660 /etc/weewx/*.conf*
  sed -e 's/User=.*/User=weewx/' -e 's/Group=.*/Group=weewx/' /etc/weewx/systemd/weewx.service \
    >/lib/systemd/system/weewx.service
  systemctl daemon-reload
  systemctl enable --quiet weewx
}

sandbox_station "${1:-}"
step_start=$SECONDS
tar -C "$weewx" -c src bin pkg | sandbox_run sh -c 'mkdir /root/weewx && tar -x -C /root/weewx'
in_sandbox weewx_package /root/weewx
[ "$(sandbox_run stat -c %U:%G:%a /etc/weewx/weewx.conf)" = weewx:weewx:660 ] ||
  fail "weewx.conf is $(sandbox_run stat -c %U:%G:%a /etc/weewx/weewx.conf), not weewx:weewx:660"
# The station: a record every minute, stored in METRICWX units. The simulator's weather changes
# slowly (calm for its first hours, dry but after midnight): corrections of its values (in m/s,
# degrees C, mm, hPa) make each minute's own, with wind and rain, so that each record's data line
# is its own; WeeWX's altimeter, from the station's pressure, is then not its barometer.
sandbox_run sed -i -e 's/^\( *archive_interval\) = .*/\1 = 60/' \
  -e 's/^\( *target_unit\) = .*/\1 = METRICWX/' \
  -e 's/^\( *\)\[\[Corrections\]\]$/&\n\1    windDir = dateTime \/\/ 60 % 8 * 45 + 12.3, loop\
\1    windSpeed = 1.5 + dateTime \/\/ 60 % 7 * 1.1, loop\
\1    windGust = 2.5 + dateTime \/\/ 60 % 7 * 1.6, loop\
\1    outTemp = outTemp - 3 + dateTime \/\/ 60 % 5 * 1.7, loop\
\1    outHumidity = 35 + dateTime \/\/ 60 % 9 * 7.3, loop\
\1    pressure = 1000 + dateTime \/\/ 60 % 6 * 4.35, loop\
\1    rain = 0.1, loop/' /etc/weewx/weewx.conf

# brinok's part: the extension, then the position and direwolf.
since=$(date +%s)
said=$(sandbox_run brinok-setup weewx) || fail "brinok-setup weewx failed: $said"
echo "brinok-setup weewx: $said"
sandbox_run systemctl -q is-active weewx || fail "weewx.service did not start: $(journal -u weewx)"
installed=$(sandbox_run weectl extension list --config /etc/weewx/weewx.conf 2>/dev/null |
  awk '$1 == "brinok" { print $2 }')
[ "$installed" = "$version" ] ||
  fail "weectl lists brinok's extension as version '$installed', not $version"
[ "$(sandbox_run stat -c %U:%G:%a /etc/weewx/weewx.conf)" = weewx:weewx:660 ] ||
  fail "after the setup, weewx.conf is $(sandbox_run stat -c %U:%G:%a /etc/weewx/weewx.conf)"
conf=(python3 /usr/share/brinok/weewx/weewx-conf.py)
[ "$(sandbox_run "${conf[@]}" /etc/weewx/weewx.conf interval)" = 60 ] ||
  fail "weewx-conf.py reads no interval of 60 s"
# The helper on a copy: a new folder keeps the file's owner, group and mode; the same folder
# again leaves the file as it is.
sandbox_run cp -p /etc/weewx/weewx.conf /etc/weewx/copy.conf
sandbox_run "${conf[@]}" /etc/weewx/copy.conf folder /home/pi/station
copy() { sandbox_run stat -c '%U:%G:%a %i %.9Y' /etc/weewx/copy.conf; }
before=$(copy)
[[ $before == weewx:weewx:660\ * ]] || fail "weewx-conf.py left the file $before"
[ "$(sandbox_run "${conf[@]}" /etc/weewx/copy.conf folder)" = /home/pi/station ] ||
  fail "weewx-conf.py did not set the folder"
sandbox_run "${conf[@]}" /etc/weewx/copy.conf folder /home/pi/station
[ "$(copy)" = "$before" ] || fail "weewx-conf.py rewrote a file that named the folder already"
sandbox_run rm /etc/weewx/copy.conf
# Run again, brinok-setup weewx changes no file (nor makes another of weectl's copies).
files() { sandbox_run sh -c 'ls -l --time-style=+%s.%N /etc/weewx /etc/default/brinok |
  grep -v "^total"; md5sum /etc/weewx/weewx.conf'; }
before=$(files)
sandbox_run brinok-setup weewx >/dev/null || fail "brinok-setup weewx run again failed"
[ "$(files)" = "$before" ] || fail "brinok-setup weewx run again changed: $(diff <(echo "$before") <(files))"
sandbox_run brinok-setup position 4237.14N 07120.83W >/dev/null
# shellcheck disable=SC2016 # expanded by the shell in the sandbox
[ "$(sandbox_run sed -n 's/^MAX_AGE=//p' /etc/default/brinok)" = "'2'" ] ||
  fail "MAX_AGE is not twice the archive interval: $(sandbox_run cat /etc/default/brinok)"
sandbox_run systemctl unmask --quiet direwolf.service
sandbox_run brinok-setup direwolf N0CALL-13 none >/dev/null
# A beacon every 15 s instead of 10 minutes, so that each report of the 1-minute interval is seen.
sandbox_run sh -c "sed -i 's/ every=10 / every=0:15 /' /etc/direwolf.conf &&
  systemctl restart direwolf"

# Each report as it is published: when it was seen, its time (its record's) and its data line.
report() { sandbox_run sh -c 'cd /var/lib/brinok && stat -c %.9Y BRINOK.TXT &&
  sed -n 2p BRINOK.TXT | tr -d "\r"' 2>/dev/null | xargs; }
latest() { tail -n 1 "$work/reports" | cut -d' ' -f2-; }
new_report() {
  got=$(report) && [[ -n $got && $got != "$(latest)" ]] &&
    echo "$(date +%s.%N) $got" >>"$work/reports"
}
touch "$work/reports"
while [ "$(wc -l <"$work/reports")" -lt 3 ]; do
  wait_for 150 new_report || fail "no report for 150 s: $(journal -u weewx | tail -n 20)"
done
# The packets until the last report is on the air.
packets() {
  journal -u direwolf | sed -n 's/^\([0-9.]*\) .*\[0L\] \(.*\)$/\1 \2/p' >"$work/packets"
  grep -q "_$(latest | cut -d' ' -f2)\$" "$work/packets"
}
wait_for 30 packets || fail "the last report never went on the air"
tar -C "$work" -c reports packets | sandbox_run sh -c 'mkdir /root/check && tar -x -C /root/check'
sandbox_run python3 - /var/lib/weewx/weewx.sdb "$since" /root/check/reports /root/check/packets \
  <.ci/weewx-check.py

# A restart to catch up on records days old, made by the simulator as fast as it can: the
# report and the air keep the last current record's weather, and WeeWX's log says why.
sandbox_run systemctl stop weewx
last=$(report)
restarted=$(date +%s)
sandbox_run sh -c "sed -i -e 's/^\( *mode\) = simulator/\1 = generator/' \
  -e 's/^\( *\)#start = .*/\1start = $(date -d '3 days ago' +%Y-%m-%dT%H:%M)/' \
  /etc/weewx/weewx.conf && systemctl start weewx"
old='not written: the record of .* is more than twice the archive interval old'
refused() { journal -u weewx --since "@$restarted" | grep -c -- "$old" || true; }
caught_up() { [ "$(refused)" -ge 60 ]; }
wait_for 60 caught_up || fail "no catch-up in 60 s: $(journal -u weewx | tail -n 20)"
# Two beacons meanwhile, then WeeWX stopped before its records come near the present.
after() {
  journal -u direwolf --since "@$restarted" | sed -n 's/^.*\[0L\] //p' >"$work/after"
  [ "$(wc -l <"$work/after")" -ge 2 ]
}
wait_for 45 after || fail "direwolf sent $(wc -l <"$work/after") packets in 45 s"
sandbox_run systemctl stop weewx
lines=$(refused)
read -r stored first_at last_at < <(sandbox_run python3 -c 'import sqlite3, sys
db = sqlite3.connect("file:/var/lib/weewx/weewx.sdb?mode=ro", uri=True)
print(*db.execute("SELECT COUNT(*), MIN(dateTime), MAX(dateTime) FROM archive WHERE dateTime < ?",
                  (int(sys.argv[1]),)).fetchone())' "$since")
((stored >= 60 && (lines == stored || lines == stored - 1))) ||
  fail "WeeWX stored $stored records days old and said why it wrote no log for $lines"
[ "$(report)" = "$last" ] || fail "the catch-up replaced the report: $(report)"
sandbox_run test ! -e /var/lib/brinok/QQ9QQ-7.Log || fail "the catch-up left a weather log"
after || true
other=$(grep -v -e '_$' -e "_${last#* }\$" "$work/after" || true)
[ -z "$other" ] || fail "packets with other weather after the restart: $other"
why=$(journal -u weewx --since "@$restarted" -o cat | awk -v old="$old" '$0 ~ old && !n++')
echo "catch-up: WeeWX stored $stored records of $(date -d "@$first_at" '+%F %H:%M') to" \
  "$(date -d "@$last_at" '+%F %H:%M'), wrote no log for $lines of them (the last may be cut by" \
  "the stop) and said why: '$why';" \
  "the report kept the record of $(date -d "@${last%% *}" +%T); packets since the restart:" \
  "$(wc -l <"$work/after"), $(grep -c '_$' "$work/after" || true) with the position alone, the" \
  "others with that report's weather"
# brinok-setup folder names the new station folder to WeeWX too.
sandbox_run brinok-setup folder /srv/station weather >/dev/null
[ "$(sandbox_run python3 /usr/share/brinok/weewx/weewx-conf.py /etc/weewx/weewx.conf folder)" = \
  /srv/station ] || fail "brinok-setup folder did not name the new folder to WeeWX"
# Removed as an operator removes an extension: its service, its file and [Brinok] gone.
sandbox_run weectl extension uninstall brinok --config /etc/weewx/weewx.conf --yes >/dev/null
sandbox_run sh -c '! grep -q -e "^\[Brinok\]" -e user.brinok /etc/weewx/weewx.conf &&
  test ! -e /etc/weewx/bin/user/brinok.py' ||
  fail "weectl extension uninstall left brinok's service"
echo "weewx step: $((SECONDS - step_start)) s in the sandbox"
