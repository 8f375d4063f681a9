#!/usr/bin/env bash
# What a station gets besides the program: the manual renders without a
# warning, the documented examples are what the program really writes, the
# release build installs and packs, and the scheduling recipes are valid and
# start the program the way they claim to.
set -euo pipefail
cd "$(dirname "$0")/../.."

need=()
command -v man >/dev/null || need+=(man-db)
command -v groff >/dev/null || need+=(groff-base)
command -v xmllint >/dev/null || need+=(libxml2-utils)
command -v systemd-analyze >/dev/null || need+=(systemd)
command -v dpkg-deb >/dev/null || need+=(dpkg-dev)
command -v readelf >/dev/null || need+=(binutils)
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}"
fi

# A locale that every Debian has, so that man does not complain about one
# the machine lacks.
export LC_ALL=C.UTF-8

# shellcheck source=.ci/common.sh
. .ci/common.sh

cmake --preset release >/dev/null
cmake --build --preset release

echo "-- manual page"
# The page as configured, headed by the project's version. Both renderers
# must stay silent: a warning means a page that shows wrongly on some
# terminal.
manual=build/release/brinok.1
warnings=$(man --warnings -l "$manual" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man --warnings: $warnings"
warnings=$(groff -man -ww -z "$manual" 2>&1)
[ -z "$warnings" ] || fail "groff -ww: $warnings"
date=$(sed -n "s/^## \[$version\] - \([0-9-]*\)$/\1/p" CHANGELOG.md)
[ -n "$date" ] || fail "CHANGELOG.md has no dated section for $version"
head -n 1 "$manual"
grep -qx "\.TH BRINOK 1 $date \"brinok $version\" \"User Commands\"" "$manual" ||
  fail "the manual's .TH line does not name version $version of $date"

echo "-- install"
prefix="$work/prefix"
cmake --install build/release --prefix "$prefix" >/dev/null
[ -x "$prefix/bin/brinok" ] || fail "cmake --install put no bin/brinok"
[ -f "$prefix/share/man/man1/brinok.1.gz" ] ||
  fail "cmake --install put no share/man/man1/brinok.1.gz"
brinok="$prefix/bin/brinok"

# Runs the installed program in a fresh folder on a log of the seven given
# values (CR LF line ends) and checks that line 2 of the report is $8.
check_example() {
  local dir expected=$8 status=0 line
  dir=$(mktemp -d "$work/example.XXXXXX")
  printf '%s\r\n' "${@:1:7}" >"$dir/QQ9QQ-7.Log"
  (cd "$dir" && "$brinok") || status=$?
  [ "$status" -eq 0 ] || fail "example $*: exit status $status"
  line=$(sed -n '2p' "$dir/BRINOK.TXT" | tr -d '\r')
  [ "$line" = "$expected" ] ||
    fail "example $*: data line $line, documented $expected"
}

echo "-- worked examples in the manual and the README"
count=0
while read -r -a row; do
  [ ${#row[@]} -eq 8 ] || fail "manual example row: ${row[*]}"
  check_example "${row[@]}"
  count=$((count + 1))
done < <(sed -n '/^\.SH EXAMPLES/,/^\.EE/{/^\.EX/,/^\.EE/{/^\.E[XE]/d;p}}' \
  "$manual" | sed 's/\\-/-/g')
[ "$count" -eq 5 ] || fail "the manual shows $count worked examples, not 5"
count=0
while IFS='|' read -r _ d s g t r p h line _; do
  line=${line//\`/}
  # shellcheck disable=SC2086 # the cells are single words
  check_example $d $s $g $t $r $p $h $line
  count=$((count + 1))
done < <(sed -n '/^| Direction |/,/^$/p' README.md |
  grep '^| [-0-9.]')
[ "$count" -eq 5 ] || fail "the README shows $count worked examples, not 5"

echo "-- systemd units"
# systemd-analyze verify checks that ExecStart= names an executable file and
# that the Documentation= manual exists, so the units are verified as copies
# that start the binary just installed, with MANPATH on the manual installed
# beside it. It only warns about an unknown key or a value it cannot parse,
# so any message at all fails the check.
grep -qx 'ExecStart=/usr/bin/brinok' contrib/systemd/brinok.service ||
  fail "brinok.service does not start /usr/bin/brinok, where the .deb puts it"
units="$work/units"
mkdir "$units"
for unit in brinok.service brinok.path brinok.timer; do
  sed "s|^ExecStart=/usr/bin/brinok$|ExecStart=$brinok|" \
    "contrib/systemd/$unit" >"$units/$unit"
done
messages=$(MANPATH="$prefix/share/man" systemd-analyze verify \
  "$units/brinok.service" "$units/brinok.path" "$units/brinok.timer" 2>&1) ||
  fail "systemd-analyze verify: $messages"
[ -z "$messages" ] || fail "systemd-analyze verify: $messages"
# No log (3) and a rejected log (2) must count as success, a failed run (1)
# must not: check against what the program really returns.
success=" $(sed -n 's/^SuccessExitStatus=//p' contrib/systemd/brinok.service) "
station="$work/station"
mkdir "$station"
status=0
(cd "$station" && "$brinok") || status=$?
[ "$status" -eq 3 ] || fail "no log: exit status $status"
printf '1\r\n2\r\n' >"$station/QQ9QQ-7.Log"
status=0
(cd "$station" && "$brinok") || status=$?
[ "$status" -eq 2 ] || fail "two-line log: exit status $status"
[[ "$success" == *" 2 "* && "$success" == *" 3 "* ]] ||
  fail "brinok.service does not count exit statuses 2 and 3 as success"
[[ "$success" != *" 1 "* ]] || fail "brinok.service hides failed runs"
grep -qx 'PathChanged=/var/lib/brinok/QQ9QQ-7.Log' contrib/systemd/brinok.path ||
  fail "brinok.path does not watch the log in the station folder"
grep -qx 'WorkingDirectory=/var/lib/brinok' contrib/systemd/brinok.service ||
  fail "brinok.service does not run in the station folder"
for unit in brinok.path brinok.timer; do
  grep -qx 'Unit=brinok.service' "contrib/systemd/$unit" ||
    fail "$unit does not start brinok.service"
done

echo "-- cron line"
# The one line, with the station folder and the binary put where this
# machine has them, run by sh as cron would.
mapfile -t entries < <(grep -v '^#' contrib/cron/brinok.cron | grep -v '^$')
[ ${#entries[@]} -eq 1 ] || fail "brinok.cron holds ${#entries[@]} entries"
read -r minute hour day month weekday user command <<<"${entries[0]}"
[ "$minute $hour $day $month $weekday" = "* * * * *" ] ||
  fail "brinok.cron does not run every minute"
# A user of its own, not root: root would replace a read-only report.
[[ "$user" =~ ^[a-z_][a-z0-9_-]*$ && "$user" != root ]] ||
  fail "brinok.cron runs as '$user', not as the weather program's user"
command=${command//\/var\/lib\/brinok/$station}
command=${command//\/usr\/bin\/brinok/$brinok}
cp examples/QQ9QQ-7.Log "$station/"
status=0
sh -c "$command" || status=$?
[ "$status" -eq 0 ] || fail "the cron command exited $status"
[ -f "$station/BRINOK.TXT" ] || fail "the cron command published no report"
[ ! -e "$station/QQ9QQ-7.Log" ] || fail "the cron command left the log"

echo "-- Task Scheduler definition"
task=contrib/windows/brinok-task.xml
xmllint --noout "$task"
# UTF-16 with a byte order mark, declared so: how Task Scheduler exports.
[ "$(head -c 2 "$task" | od -An -tx1 | tr -d ' ')" = fffe ] ||
  fail "$task is not UTF-16LE with a byte order mark"
xpath() { xmllint --xpath "string($1)" "$task"; }
task_ns=http://schemas.microsoft.com/windows/2004/02/mit/task
[ "$(xpath "namespace-uri(/*)")" = "$task_ns" ] || fail "task namespace"
[ "$(xpath "/*[local-name()='Task']/@version")" = 1.2 ] || fail "task version"
el() { xpath "//*[local-name()='$1']"; }
[ "$(el Interval)" = PT1M ] || fail "task does not repeat every minute"
[ "$(el Hidden)" = true ] || fail "task is not hidden"
[ "$(el MultipleInstancesPolicy)" = IgnoreNew ] || fail "task may overlap"
[ "$(xpath "//*[local-name()='Settings']/*[local-name()='ExecutionTimeLimit']")" = PT1M ] ||
  fail "task time limit is not one minute"
case "$(el LogonType)" in S4U | Password) ;; *) fail "task needs a logon" ;; esac
[ "$(el Command)" = "$(el WorkingDirectory)\\BRINOK.EXE" ] ||
  fail "task does not start BRINOK.EXE in its working directory"

echo "-- packages"
packages="$work/packages"
cpack --preset release -B "$packages" >/dev/null
deb=$(echo "$packages"/brinok_"$version"_*.deb)
tgz="$packages/brinok-$version-linux-$(uname -m).tar.gz"
[ -f "$deb" ] || fail "cpack made no .deb"
[ -f "$tgz" ] || fail "cpack made no .tar.gz"
dpkg-deb -c "$deb" | tee "$work/deb.txt"
grep -q ' ./usr/bin/brinok$' "$work/deb.txt" || fail ".deb has no brinok"
grep -q ' ./usr/share/man/man1/brinok.1.gz$' "$work/deb.txt" ||
  fail ".deb has no compressed manual"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] ||
  fail ".deb architecture"
[ -z "$(dpkg-deb -f "$deb" Depends)" ] || fail ".deb has dependencies"
tar -tzf "$tgz" >"$work/tgz.txt"
grep -qx "brinok-$version-linux-$(uname -m)/bin/brinok" "$work/tgz.txt" ||
  fail ".tar.gz has no bin/brinok"
# No dependencies is only right for a program that needs no shared library.
unpacked="$work/unpacked"
dpkg-deb -x "$deb" "$unpacked"
readelf -d "$unpacked/usr/bin/brinok" >"$work/dynamic.txt"
grep -q NEEDED "$work/dynamic.txt" &&
  fail "the packaged brinok needs shared libraries"
rm -f "$station"/*
cp examples/QQ9QQ-7.Log "$station/"
(cd "$station" && "$unpacked/usr/bin/brinok") ||
  fail "the packaged brinok did not publish a report"
bash .ci/lintian-deb.sh "$deb"

# The Windows zips, 64- and 32-bit, where the Windows step has built them.
while read -r preset system bits; do
  if [ ! -f "build/$preset/BRINOK.EXE" ]; then
    echo "-- Windows package $system: skipped, build/$preset/BRINOK.EXE not built"
    continue
  fi
  echo "-- Windows package $system"
  # Configured again so the package rules are there whatever configured it.
  cmake --preset "$preset" >/dev/null
  cpack --preset "$preset" -B "$work/$preset" >/dev/null
  zip="$work/$preset/brinok-$version-$system.zip"
  [ -f "$zip" ] || fail "cpack made no $(basename "$zip")"
  cmake -E tar tf "$zip" | tee "$work/zip.txt"
  for entry in bin/BRINOK.EXE README.txt LICENSE.txt CHANGELOG.txt \
    brinok-task.xml; do
    grep -qx "brinok-$version-$system/$entry" "$work/zip.txt" ||
      fail "the zip has no $entry"
  done
  (cd "$work/$preset" && cmake -E tar xf "$zip")
  unzipped="$work/$preset/brinok-$version-$system"
  # Notepad shows a text file whose lines end in LF alone as one line.
  for text in README.txt LICENSE.txt CHANGELOG.txt; do
    ! grep -q $'[^\r]$\|^$' "$unzipped/$text" ||
      fail "$text has lines that do not end in CR LF"
  done
  grep -q "^brinok $version for Windows, $bits-bit"$'\r$' "$unzipped/README.txt" ||
    fail "README.txt does not name version $version, $bits-bit"
  # The changes as text, from the zip's version back, without Markdown.
  changes="$unzipped/CHANGELOG.txt"
  [[ "$(head -n 1 "$changes")" == "brinok $version ("*$')\r' ]] ||
    fail "CHANGELOG.txt does not start with version $version: $(head -n 1 "$changes")"
  ! grep -n -e '`' -e '^#' -e '\[Unreleased\]' -e '](' "$changes" ||
    fail "CHANGELOG.txt holds Markdown or unreleased changes"
  # The version resource, as Explorer's Properties, Details shows it: each
  # UTF-16 key string followed by its value.
  strings -el "$unzipped/bin/BRINOK.EXE" >"$work/resource.txt"
  resource() { awk -v key="$1" 'found { print; exit } $0 == key { found = 1 }' \
    "$work/resource.txt"; }
  echo "version resource: FileVersion $(resource FileVersion)," \
    "ProductVersion $(resource ProductVersion)," \
    "ProductName $(resource ProductName)," \
    "FileDescription $(resource FileDescription)," \
    "LegalCopyright $(resource LegalCopyright)"
  [ "$(resource FileVersion)" = "$version" ] || fail "FileVersion"
  [ "$(resource ProductVersion)" = "$version" ] || fail "ProductVersion"
  [ "$(resource ProductName)" = brinok ] || fail "ProductName"
  [ "$(resource OriginalFilename)" = BRINOK.EXE ] || fail "OriginalFilename"
  [ -n "$(resource FileDescription)" ] || fail "FileDescription"
  [[ "$(resource LegalCopyright)" == "$(grep -m1 '^Copyright ' LICENSE)"* ]] ||
    fail "LegalCopyright does not match LICENSE"
done <<'EOF'
windows win64 64
windows32 win32 32
EOF

echo "docs and packaging: all checks passed"
