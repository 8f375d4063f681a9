#!/usr/bin/env bash
# Windows: the 64- and 32-bit BRINOK.EXE cross-built and packed, each zip and
# program checked; the integration suite and a UI-VIEW32 stand-in under Wine,
# 64-bit here and 32-bit in an i386 Debian root; the guide's test by hand.
# shellcheck source=.ci/common.sh
. "$(dirname "$0")/../common.sh"

# imports.txt as "dll function version", the version the PE header gives the
# oldest Windows that has the function.
awk 'BEGIN { split("any 0.0 2000 5.0 XP 5.1 Vista 6.0 7 6.1 8 6.2 8.1 6.3 10 10.0", w)
    for (i = 1; i in w; i += 2) version[w[i]] = w[i + 1] }
  /^#|^$/ { next } !($3 in version) { print $1, $2 ": no such Windows: " $3; exit 1 }
  { print $1, $2, version[$3] }' contrib/windows/imports.txt >"$work/listed" ||
  fail "contrib/windows/imports.txt: $(tail -n 1 "$work/listed")"

# Builds and packs preset $1, and checks the zip and its program: $2 is the
# system in the zip's name, $3 the PE format objdump names, $4 the bits.
check_windows() {
  local zip="$work/$1/brinok-$version-$2.zip" dir="$work/$1/brinok-$version-$2"
  local exe="$dir/bin/BRINOK.EXE" newest from got rc
  cmake --workflow --preset "$1"
  cpack --preset "$1" -B "$work/$1" >/dev/null
  (cd "$work/$1" && cmake -E tar xf "$zip")
  (cd "$dir" && ls bin/BRINOK.EXE brinok-task.xml README.txt LICENSE.txt CHANGELOG.txt \
    >/dev/null) || fail "the zip lacks the above"
  # For Notepad, which shows a text whose lines end in LF alone as one line:
  # CR LF line ends; README.txt plain ASCII, no line wider than 79 columns.
  ! LC_ALL=C awk '!sub(/\r$/, "") || FILENAME ~ /README.txt$/ && (/[^ -~]/ || length > 79) {
    print FILENAME ":" FNR ": " $0 }' "$dir"/*.txt | grep . ||
    fail "the above lines lack CR LF, or in README.txt are not plain ASCII or over 79 columns"
  grep -q "^brinok $version for Windows, $4-bit"$'\r$' "$dir/README.txt" ||
    fail "README.txt does not name version $version, $4-bit"
  # The changes as text, from the zip's version back, without Markdown.
  [[ "$(head -n 1 "$dir/CHANGELOG.txt")" == "brinok $version ("*$')\r' ]] ||
    fail "CHANGELOG.txt does not start with version $version"
  ! grep -n -e '`' -e '^#' -e '\[Unreleased\]' -e '](' "$dir/CHANGELOG.txt" ||
    fail "CHANGELOG.txt holds Markdown or unreleased changes"
  # One reading of the header and the imports. Each import ("dll function")
  # with its oldest Windows, the newest last; the compiler's runtime DLLs would
  # have to be shipped too. The header: the PE format; subsystem 2, the Windows
  # GUI, started without a console window; as OS and subsystem version the
  # newest import's Windows, as the loader refuses it on an older Windows.
  x86_64-w64-mingw32-objdump -p "$exe" | awk -v listed="$work/listed" -v header="$work/header" '
    BEGIN { while ((getline < listed) > 0) windows[$1 " " $2] = $3 }
    $1 == "Magic" { m = $3 } $1 == "Subsystem" { s = $2 + 0 }
    $1 ~ /^Major(OSystem|Subsystem)Version$/ { v = v " " $2 }
    $1 ~ /^Minor(OSystem|Subsystem)Version$/ { v = v "." $2 }
    /^[[:space:]]*DLL Name: / { dll = tolower($3); next } NF == 0 { dll = "" }
    dll != "" && $1 ~ /^[0-9a-f]+$/ && NF >= 3 {
      f = dll " " $3; print (f in windows ? windows[f] : "unlisted"), f }
    END { print m, s v >header }' | sort -V >"$work/imports-$1"
  ! grep '^unlisted ' "$work/imports-$1" ||
    fail "$exe imports the above, which contrib/windows/imports.txt does not list"
  read -r newest from < <(tail -n 1 "$work/imports-$1")
  read -r got <"$work/header"
  [ "$got" = "($3) 2 $newest $newest" ] || fail "$exe: format, subsystem, OS and" \
    "subsystem versions: $got, not ($3) 2 $newest $newest, for ${from:-no import found}"
  # Resources by type (a manifest would be type 24), and the version's fields
  # that Explorer's Properties, Details shows.
  rc=$(x86_64-w64-mingw32-windres -J coff -i "$exe" -O rc)
  [ "$(sed -n 's|^/\* Type: \(.*\)$|\1|p' <<<"$rc" | sort -u)" = version ] ||
    fail "$exe has resources besides its version"
  resource() { sed -n "s/^ *VALUE \"$1\", \"\(.*\)\"\$/\1/p" <<<"$rc"; }
  got="$(resource FileVersion) $(resource ProductVersion) $(resource ProductName)"
  got+=" $(resource OriginalFilename) [$(resource LegalCopyright)] $(resource FileDescription)"
  [[ $got == "$version $version brinok BRINOK.EXE [$(grep -m1 '^Copyright ' LICENSE)"*"] "?* ]] ||
    fail "$exe: File-, ProductVersion, -Name, OriginalFilename, [LegalCopyright, as in" \
      "LICENSE], FileDescription: $got"
}
check_windows windows win64 PE32+ 64
check_windows windows32 win32 PE32 32
# The list holds what the programs import and no more.
! cut -d' ' -f2- "$work"/imports-* | sort -u |
  comm -13 - <(cut -d' ' -f1,2 "$work/listed" | sort -u) | grep . ||
  fail "contrib/windows/imports.txt lists the above, which neither program imports"

# The native integration tests drive the Windows programs.
[ -f build/dev/CMakeCache.txt ] || cmake --preset dev
cmake --build --preset dev --target brinok_run_tests

# Quiet Wine, with the ANSI code page 1252, its prefix set for each program;
# $wine is the command in front of Wine's programs (none here). The server of
# the prefix in use is stopped however the step ends; a failure shows the log.
export WINEDEBUG=-all LANG=en_US.UTF-8 WINEPREFIX=
wine_log="$work/wine.log" wine=()
trap '[[ $? -eq 0 || ! -s $wine_log ]] || cat "$wine_log" >&2
  [ -z "${WINEPREFIX:-}" ] || "${wine[@]}" wineserver -k 2>/dev/null || true
  rm -rf "$work"' EXIT
# Runs the program of preset $1 under Wine, in a prefix of its own with one
# server (a leftover one replaced), started with Wine's helper processes by a
# run on the sample, as those started by a test would keep its output pipe
# open; then the suite, its Windows-only tests too. UI-VIEW32, played by the
# stand-in with BRINOK.EXE as its WX data file and set up as README.txt says
# ("Start in" the station folder, or all in its own folder), must publish in
# either working folder its help leaves open, its own or the program's; started
# elsewhere, only in the program's (in its own: no log, 3, the old report again).
wine_checks() {
  local exe="$PWD/build/$1/BRINOK.EXE" standin="$PWD/build/$1/uiview_standin.exe"
  local case setup option home station start_in got want
  export WINEPREFIX="$PWD/build/$1/wineprefix"
  mkdir -p "$WINEPREFIX"
  { "${wine[@]}" wineserver -k || true; "${wine[@]}" wineserver -w; "${wine[@]}" wineserver -p
    [ -f "$WINEPREFIX/system.reg" ] || WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d' \
      "${wine[@]}" wineboot -i; } </dev/null >>"$wine_log" 2>&1
  expect_line "$sample_line" "" "${wine[@]}" wine "$exe"
  BRINOK_TEST_PLATFORM=windows BRINOK_TEST_COMMAND="${wine[*]} wine $exe" \
    timeout 600 build/dev/tests/brinok_run_tests --gtest_brief=1
  for case in {start-in,own-folder,elsewhere}/{,--start-in-program-folder}; do
    setup=${case%/*} option=${case#*/} home=$(mktemp -d "$work/uiview.XXXXXX")
    station=$home/station start_in=$home
    case $setup in own-folder) station=$home ;; start-in) start_in=$station ;; esac
    mkdir -p "$station"
    cp "$exe" examples/QQ9QQ-7.Log "$station/"
    printf '*\r\nthe old report\r\n' >"$station/BRINOK.TXT"
    got=$(cd "$start_in" && "${wine[@]}" wine "$standin" ${option:+"$option"} \
      "Z:${station//\//\\}\\BRINOK.EXE" </dev/null 2>>"$wine_log" | tr -d '\r') || true
    got+=$'\nlog kept: '$([ -e "$station/QQ9QQ-7.Log" ] && echo yes || echo no)
    want=$'ended 0\nline 2: '"$sample_line"$'\nlog kept: no'
    [ "$case" != elsewhere/ ] || want=$'ended 3\nline 2: the old report\nlog kept: yes'
    [ "$got" = "$want" ] ||
      fail "UI-VIEW32's stand-in, $setup, ${option:-its own working folder}: '$got', not '$want'"
  done
}
wine_checks windows

# The test by hand that the Windows guide quotes, typed into cmd as it stands
# in a station folder with a real log and report, with BRINOK.EXE's path
# there: it must show exit status 0 and the first worked example's data line,
# which the guide names, leave the station folder as it was and remove its
# scratch folder (removed before by a line of ours, checked after).
station=$(mktemp -d "$work/station.XXXXXX")
cp build/windows/BRINOK.EXE "$station/"
printf '%s\r\n' 90 3 7 50 0.00 1000.0 80 >"$station/QQ9QQ-7.Log"
printf '*\r\nthe old report\r\n' >"$station/BRINOK.TXT"
cp -a "$station" "$work/station-before"
lines=$(sed "s|C:\\\\Station|Z:${station//\//\\\\}|" contrib/windows/test-by-hand.txt)
grep -q "^start \"\" /wait Z:.*\\\\BRINOK.EXE$" <<<"$lines" ||
  fail "the test by hand does not start BRINOK.EXE"
scratch='"%TEMP%\brinok-test"'
printf '%s\n' "if exist $scratch rmdir /s /q $scratch" "$lines" \
  "if exist $scratch (echo scratch folder left) else echo scratch folder removed" >"$work/typed"
typed=$(cd "$station" && wine cmd <"$work/typed" 2>>"$wine_log" | tr -d '\r')
# The report as "type" shows it: the data line follows the asterisk line.
got=$(awk '/>(0|scratch folder .*)$/ && sub(/.*>/, ""); />\*+$/ { getline; print }' <<<"$typed")
example=$(grep -v '^#' docs/examples.tsv | head -n 1 | cut -f 8)
tr '\n' ' ' <docs/windows.md | grep -qF "second line is \`$example\`" ||
  fail "docs/windows.md does not name $example as the test's data line"
want=$(printf '0\n%s\nscratch folder removed' "$example")
[ "$got" = "$want" ] || fail "the test by hand shows '$got', not '$want': $typed"
diff -r "$work/station-before" "$station" ||
  fail "the test by hand changed the station folder"

# The 32-bit Wine only where the kernel runs 32-bit x86 programs, as this probe shows.
printf ".globl _start\n_start:\n movl \$1, %%eax\n movl \$42, %%ebx\n int \$0x80\n" |
  gcc -m32 -nostdlib -static -x assembler -o "$work/probe" -
status=$("$work/probe" 2>/dev/null; echo $?)
[ "$status" -eq 42 ] ||
  { echo "the 32-bit Wine skipped: this kernel runs no 32-bit programs (exit $status)"; exit 0; }
wineserver -k || true # the 64-bit Wine's server, before $wine changes
wine=("$PWD/.ci/in-wine32-root")
"${wine[@]}" --make
wine_checks windows32
