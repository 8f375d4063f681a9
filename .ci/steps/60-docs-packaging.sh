#!/usr/bin/env bash
# What a station gets besides the program: the manuals, install, the .deb and
# .tar.gz, the documents' generated parts, the Task Scheduler task. (The zips,
# units and cron line: where they run.)
# shellcheck source=.ci/common.sh
. "$(dirname "$0")/../common.sh"
# A locale every Debian has, so that man does not complain of a missing one.
export LC_ALL=C.UTF-8

cmake --workflow --preset package
# Both renderers must stay silent: a warning is a page that shows wrongly on
# some terminal. The header names the version and its date in CHANGELOG.md.
date=$(sed -n "s/^## \[$version\] - \([0-9-]*\)$/\1/p" CHANGELOG.md)
for manual in build/release/brinok.1 build/release/brinok-setup.8; do
  warnings=$(man --warnings -l "$manual" 2>&1 >/dev/null
    groff -man -ww -z "$manual" 2>&1)
  [ -z "$warnings" ] || fail "$manual renders with warnings: $warnings"
  grep -Eqx "\.TH \"BRINOK(-SETUP)?\" \"[18]\" \"$date\" \"brinok $version\" \".*\"" "$manual" ||
    fail "$manual's .TH line does not name version $version of $date"
done

# Only the documents need lowdown: without it the program builds, and installing stops, saying
# what is missing; a lowdown that fails fails the page, which is then not made at all.
# shellcheck disable=SC2016 # expanded by the inner shell
unshare --mount sh -c 'mount --bind /dev/null /usr/bin/lowdown &&
  cmake -S . -B "$0" -G Ninja -DBRINOK_BUILD_TESTS=OFF -DBRINOK_BUILD_FUZZERS=OFF >/dev/null &&
  cmake --build "$0" >/dev/null && ! cmake --install "$0" --prefix "$0/prefix" 2>"$0/said"' \
  "$work/no-lowdown" || fail "a build without lowdown failed, or installed"
grep -q 'apt-get install lowdown' "$work/no-lowdown/said" ||
  fail "installing without lowdown said: $(cat "$work/no-lowdown/said")"
mkdir "$work/failing" && printf '#!/bin/sh\necho half\nexit 1\n' >"$work/failing/lowdown"
chmod +x "$work/failing/lowdown"
for render in "man $work/page.1 docs/reference.md BRINOK 1 - $version $date" \
  "readme $work/README.txt contrib/windows/README.txt.in docs/windows.md"; do
  # shellcheck disable=SC2086 # the words of each command
  ! PATH="$work/failing:$PATH" sh cmake/render-docs $render 2>/dev/null ||
    fail "render-docs $render ended 0 when lowdown failed"
done
for document in "$work/page.1" "$work/README.txt"; do
  [ ! -e "$document" ] || fail "render-docs left $document when lowdown failed"
done

# How often direwolf beacons is its recipe's; the one document that says it says the same.
every=$(sed -n 's/^CBEACON .* every=\([0-9]*\) .*/\1/p' contrib/direwolf/brinok-beacon.conf)
tr -s '\n ' '  ' <docs/brinok-setup.md | grep -q "It beacons every $every minutes" ||
  fail "docs/brinok-setup.md does not say that direwolf beacons every $every minutes"

prefix="$work/prefix"
cmake --install build/release --prefix "$prefix" >/dev/null
[[ -x $prefix/bin/brinok && -f $prefix/share/man/man1/brinok.1.gz ]] ||
  fail "cmake --install put no bin/brinok or share/man/man1/brinok.1.gz"
check_packages build/release "$(dpkg --print-architecture)" "$(uname -m)" \
  "Class:[[:space:]]+ELF$(getconf LONG_BIT)"

# The documents' generated parts (tables of docs/*.tsv, quoted files) are
# current; the unit tests run the data files' rows.
cmake/update-docs
git diff --exit-code docs/ || fail "docs/ is stale: run cmake/update-docs and commit"

task=contrib/windows/brinok-task.xml
xmllint --noout "$task"
# UTF-16 with a byte order mark, declared so: how Task Scheduler exports.
[ "$(head -c 2 "$task" | od -An -tx1 | tr -d ' ')" = fffe ] ||
  fail "$task is not UTF-16LE with a byte order mark"
xpath() { xmllint --xpath "string($1)" "$task"; }
el() { xpath "//*[local-name()='$1']"; }
[ "$(xpath "namespace-uri(/*)")" = \
  http://schemas.microsoft.com/windows/2004/02/mit/task ] || fail "task namespace"
[ "$(xpath "/*[local-name()='Task']/@version")" = 1.2 ] || fail "task version"
[ "$(el Interval)" = PT1M ] || fail "the task does not repeat every minute"
[ "$(el Hidden)" = true ] || fail "the task is not hidden"
[ "$(el MultipleInstancesPolicy)" = IgnoreNew ] || fail "the task may overlap"
[ "$(xpath "//*[local-name()='Settings']/*[local-name()='ExecutionTimeLimit']")" = \
  PT1M ] || fail "the task's time limit is not one minute"
case "$(el LogonType)" in S4U | Password) ;; *) fail "the task needs a logon" ;; esac
[ "$(el Command)" = "$(el WorkingDirectory)\\BRINOK.EXE" ] ||
  fail "the task does not start BRINOK.EXE in its working directory"
# The folder is named only in the action, where the operator changes it.
! grep -E '[A-Za-z]:[\]' <<<"$(el Description)" ||
  fail "the task's description names a folder"
