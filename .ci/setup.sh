#!/usr/bin/env bash
# brinok-setup as root code must be, in a booted systemd (.ci/sandbox.sh) with the .deb installed:
# every bad argument of every command refused whole (status 2, one line saying what is wrong,
# every file it writes byte for byte as before); a failure in the middle of folder puts every
# file back; folder stops at a parent that group weather cannot pass and names the command that
# opens it; a callsign change reaches the IGate's login and aprx. .ci/run runs it beside the
# other steps, with the .deb it made as $1 (without it, the step makes one).
# The rows' values are text that must never run: quoted, never expanded.
# shellcheck disable=SC2016,SC1003
# shellcheck source=.ci/common.sh
. "$(dirname "$0")/common.sh"
. .ci/sandbox.sh
setup() { sandbox_run brinok-setup "$@"; }
# Everything brinok-setup writes, and the folders whose mode it sets, as they are now: content,
# owner and mode, or absent; and no file of its own left in /run.
written=(/etc/default/brinok /etc/direwolf.conf{,.before-brinok} /etc/aprx.conf{,.before-brinok}
  /etc/systemd/system/brinok.{service,path}.d/station.conf
  /etc/udev/rules.d/60-brinok-weather-station.rules /var/lib/pywws/weather.ini{,.before-brinok}
  /home/pi /home/pi/station /home/pi/old)
snapshot() {
  # shellcheck disable=SC2016 # expanded by the shell in the sandbox
  sandbox_run sh -c 'for f; do
      if [ -e "$f" ]; then stat -c "%n %U:%G %a" "$f"; [ -d "$f" ] || sha256sum "$f"
      else echo "$f absent"; fi
    done; ls -d /run/brinok-setup.* 2>/dev/null || true' _ "${written[@]}"
}
# Runs brinok-setup WORDS...; it must end with status $1 and its last line on standard error must
# match $2, and every file it writes must be as before.
refused() {
  local want=$1 said=$2 before status=0 err
  shift 2
  before=$(snapshot)
  err=$(setup "$@" 2>&1 >/dev/null) || status=$?
  # Bad input is told in one line; a failure's last line says what it put back.
  [[ $status -eq $want && ($want -ne 2 || $err != *$'\n'*) &&
    ${err##*$'\n'} =~ ^brinok-setup:\ .*$said ]] ||
    fail "brinok-setup $(printf '%q ' "$@"): status $status, said '$err', not $want and /$said/"
  [ "$(snapshot)" = "$before" ] ||
    fail "brinok-setup $(printf '%q ' "$@") changed: $(diff <(echo "$before") <(snapshot))"
  ((++rows))
}
bad() { refused 2 "$@"; }

sandbox_station "${1:-}"
# aprx from its init script (its generator is masked like every other), direwolf unmasked; user
# pi with a home of 0700, as Debian 12 makes it.
sandbox_run sh -c 'rm /etc/systemd/system-generators/systemd-sysv-generator &&
  systemctl unmask --quiet direwolf.service && systemctl daemon-reload &&
  adduser --quiet --disabled-password --comment pi pi'

# A station set up as the guides say, with an IGate and aprx beside direwolf.
setup position 4237.14N 07120.83W >/dev/null
# (aprx refuses N0CALL, the callsign of examples.)
setup direwolf K1ABC-13 none >/dev/null
setup igate 13023 127.0.0.1 >/dev/null
setup aprx K1ABC-13 13023 127.0.0.1 >/dev/null
sandbox_run test -f /etc/aprx.conf.before-brinok || fail "aprx's own aprx.conf was not kept"

rows=0
# The lines of one value would each pass a line-by-line check: the whole value must.
bad latitude position "$(printf '4237.14N\ntouch /tmp/x #')" 07120.83W
bad latitude position 9100.00N 07120.83W
bad latitude position 4260.00N 07120.83W
bad latitude position '' 07120.83W
bad longitude position 4237.14N 18000.01W
bad longitude position 4237.14N "07120.83W'"
bad usage position 4237.14N
bad callsign direwolf N0CALL-16 none
bad callsign direwolf 'N0CALL-13$(touch /tmp/x)' none
bad callsign direwolf 'N0CALL`id`' none
bad callsign direwolf "N0CALL 13" none
bad callsign direwolf N0CALLSIGN none
bad callsign direwolf '' none
bad "sound card" direwolf N0CALL-13 "plughw:1,0$(printf '\nPTT x')"
bad "sound card" direwolf N0CALL-13 'plughw:1,0\'
bad "sound card" direwolf N0CALL-13 -
bad PTT direwolf N0CALL-13 none "$(printf '/dev/ttyUSB0 RTS\nIGLOGIN X 1')"
bad PTT direwolf N0CALL-13 none "/dev/tty'x RTS"
bad PTT direwolf N0CALL-13 none "/dev/ttyUSB0 RTS; reboot"
bad PTT direwolf N0CALL-13 none VOX
bad passcode igate 1/2
bad passcode igate '&'
bad passcode igate 99999
bad passcode igate "$(printf '13023\nIGLOGIN X 1')"
bad server igate 13023 'a/b'
bad server igate 13023 'rotate.aprs2.net&'
bad server igate 13023 "$(printf 'rotate.aprs2.net\nIGLOGIN X 1')"
bad server igate 13023 "$(printf '%0254d' 0)"
bad callsign aprx N0CALL-99 13023
bad passcode aprx N0CALL-13 '$HOME'
bad server aprx N0CALL-13 13023 '-v'
bad usage aprx N0CALL-13
bad "folder '/etc'" folder /etc pi
bad "folder '/'" folder / pi
bad "/var is the system's" folder /var/lib pi
bad "/usr is the system's" folder /usr/local/station pi
bad "an absolute path" folder station pi
bad "an account's home" folder /home/pi pi
bad plainly folder /home/pi/../../etc pi
bad plainly folder /home/pi/station/ pi
bad letters folder "$(printf '/home/pi/station\nUser=root')" pi
bad letters folder '/home/pi/sta tion' pi
bad letters folder '/home/pi/$(id)' pi
bad "longer than 200" folder "/home/pi/$(printf '%0200d' 0)" pi
bad root folder /home/pi/station root
bad "no such account" folder /home/pi/station nobody-here
bad "an account's name" folder /home/pi/station ''
bad "station type" pywws 1090 5
bad "logging interval" pywws 1080 0
bad "logging interval" pywws 1080 241
bad "logging interval" pywws 1080 $'5\n'
bad usage clock now
bad configuration weewx weewx.conf
bad configuration weewx /etc/passwd
bad configuration weewx "$(printf '/etc/weewx/weewx.conf\nx.conf')"
bad plainly weewx /etc/weewx/../weewx.conf
bad "no such file" weewx /etc/weewx/weewx.conf
bad usage weewx /etc/a.conf /etc/b.conf
sandbox_run test ! -e /tmp/x || fail "a value ran as a command"
sandbox_run /etc/brinok/aprs-weather >/dev/null
sandbox_run test ! -e /tmp/x || fail "aprs-weather ran a value as a command"

# The folder: /home/pi (0700) lets group weather pass only once the operator runs the one command
# printed; a folder of pi's that exists is given group weather, setgid and group write.
said=$(setup folder /home/pi/station pi 2>&1) && fail "folder passed /home/pi of 0700"
open=${said##*to let it: }
[[ $open =~ ^(setfacl\ -m\ g:weather:x|chmod\ o\+x)\ /home/pi$ ]] || fail "folder said '$said'"
refused 1 "group weather may not pass /home/pi" folder /home/pi/station pi
# shellcheck disable=SC2086 # the command printed, as the operator types it
sandbox_run $open
sandbox_run runuser -u pi -- mkdir -m 0755 /home/pi/station
said=$(setup folder /home/pi/station pi) || fail "brinok-setup folder failed: $said"
[ "$(sandbox_run stat -c %U:%G:%a /home/pi/station)" = pi:weather:2775 ] ||
  fail "the folder is $(sandbox_run stat -c %U:%G:%a /home/pi/station), not pi:weather:2775"
[[ $said == *"group weather"* ]] || fail "folder did not say it changed the folder: $said"
# Run again, it changes nothing.
before=$(snapshot)
setup folder /home/pi/station pi >/dev/null
[ "$(snapshot)" = "$before" ] || fail "folder run again changed files"

# A failure in the middle of folder (pywws's weather.ini broken, found after the units' drop-ins
# and the settings were written) leaves every file as before, and the station running in the
# folder before: a log there is converted.
sandbox_run sh -c 'adduser --quiet --system --group --home /var/lib/pywws pywws &&
  printf "[brinok]\ndirectory = /home/pi/station\nnot a line of an ini file\n" |
  runuser -u pywws -- tee /var/lib/pywws/weather.ini >/dev/null &&
  runuser -u pi -- mkdir /home/pi/old'
refused 1 "every file is as it was" folder /home/pi/old pi
sandbox_run runuser -u pi -- sh -c "printf '%s\r\n' 270 5 12 68.5 0.12 1013.2 55 \
  >/home/pi/station/QQ9QQ-7.Log"
poll 10 sandbox_run test -f /home/pi/station/BRINOK.TXT ||
  fail "after the failed folder, brinok no longer converts in /home/pi/station"

# A new callsign reaches the IGate's login and aprx; the passcode stays, and a new callsign
# before the SSID is told to give its own.
said=$(setup direwolf K1ABC-10 none 2>&1)
[[ $said != *passcode* ]] || fail "an SSID change asked for a passcode: $said"
said=$(setup direwolf W1XYZ-13 none 2>&1)
[[ $said == *"give W1XYZ's with brinok-setup igate PASSCODE"* &&
  $said == *"give W1XYZ's with brinok-setup aprx W1XYZ-13 PASSCODE"* ]] ||
  fail "a new callsign did not ask for its passcode: $said"
calls() { sandbox_run grep -hE '^(IGLOGIN|mycall|MYCALL) ' /etc/direwolf.conf /etc/aprx.conf; }
[ "$(calls)" = $'MYCALL W1XYZ-13\nIGLOGIN W1XYZ-13 13023\nmycall W1XYZ-13' ] ||
  fail "after the callsign change: $(calls)"
sandbox_run systemctl -q is-active aprx direwolf || fail "aprx or direwolf stopped"
# brinok-status names the folder of brinok-setup folder and the clients set up.
shown=$(sandbox_run brinok-status) || true
for row in '^station folder +/home/pi/station$' '^aprx +active$' '^direwolf +active'; do
  grep -Eq "$row" <<<"$shown" || fail "brinok-status showed no /$row/: $shown"
done
echo "brinok-setup: $rows refusals with every file unchanged; folder, its failure and a new call"
