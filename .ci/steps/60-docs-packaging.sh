#!/usr/bin/env bash
# What a station gets besides the program: the manual, install, the .deb and
# .tar.gz, the worked examples, README.txt's tables for the weather program,
# the Task Scheduler task. (The zips, units and cron line: where they run.)
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
  grep -Eqx "\.TH BRINOK(-SETUP)? [18] $date \"brinok $version\" \".*\"" "$manual" ||
    fail "$manual's .TH line does not name version $version of $date"
done
manual=build/release/brinok.1

prefix="$work/prefix"
cmake --install build/release --prefix "$prefix" >/dev/null
[[ -x $prefix/bin/brinok && -f $prefix/share/man/man1/brinok.1.gz ]] ||
  fail "cmake --install put no bin/brinok or share/man/man1/brinok.1.gz"
check_packages build/release "$(dpkg --print-architecture)" "$(uname -m)" \
  "Class:[[:space:]]+ELF$(getconf LONG_BIT)"

# Five rows of eight words on standard input: a log's seven values and the
# data line the program must write from it.
check_examples() {
  local row count=0
  while read -r -a row; do
    [ ${#row[@]} -eq 8 ] || fail "$1: example row '${row[*]}'"
    expect_line "${row[7]}" "$(printf '%s\n' "${row[@]:0:7}")" "$prefix/bin/brinok"
    count=$((count + 1))
  done
  [ "$count" -eq 5 ] || fail "$1 shows $count worked examples, not 5"
}
check_examples "the manual" < <(sed 's/\\-/-/g' "$manual" |
  sed -n '/^\.SH EXAMPLES/,/^\.EE/{/^\.EX/,/^\.EE/{/^\.E[XE]/d;p}}')
check_examples "the README" < <(sed -n '/^| Direction |/,/^$/p' README.md |
  awk -F'|' '/^\| [-0-9.]/ { gsub(/`/, ""); print $2, $3, $4, $5, $6, $7, $8, $9 }')

# README.txt's tables (columns two or more spaces apart): a log's line, ways
# of writing it and the field each sends; the first table's "Write" column is
# the base log, in which each way replaces its line.
readme_txt=contrib/windows/README.txt.in
rows=$(sed -n '/^Setting up the weather program$/,/^Starting BRINOK.EXE$/p' \
  "$readme_txt" | grep -E '^  [1-7]  ' |
  sed -E 's/ +\([0-9]\)$//; s/^ +//; s/ {2,}/\t/g')
base=()
while IFS=$'\t' read -r -a row; do
  [ ${#row[@]} -ne 6 ] || base[row[0] - 1]=${row[2]}
done <<<"$rows"
[ "${#base[@]}" -eq 7 ] || fail "$readme_txt: the table gives ${#base[@]} lines, not 7"
# Fails unless line $1 written as $2 in the base log sends the field $3.
check_way() {
  local lines=("${base[@]}")
  lines[$1 - 1]=$2
  convert "$(printf '%s\n' "${lines[@]}")" "$prefix/bin/brinok"
  # The fields by their letters; the rain is whatever lies between P and b.
  [[ $status -eq 0 && $line =~ ^(...)(/...)(g...)(t[^P]*)(P.*)(b[^b]*)(h[^h]*)$ &&
    ${BASH_REMATCH[$1]} == "$3" ]] ||
    fail "$readme_txt: line $1 written as '$2': status $status, data line '$line', no $3"
}
while IFS=$'\t' read -r -a row; do
  case ${#row[@]} in
    6) check_way "${row[0]}" "${row[2]}" "${row[3]}"
      check_way "${row[0]}" "${row[4]}" "${row[5]}" ;;
    4) check_way "${row[0]}" "${row[1]}" "${row[2]}" ;;
    *) fail "$readme_txt: table row '${row[*]}'" ;;
  esac
done <<<"$rows"

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
