#!/usr/bin/env bash
# Windows: cross-builds the 64-bit and the 32-bit BRINOK.EXE with mingw-w64
# and checks each: a GUI program (no console window), with no resource but
# its version (no manifest that changes how Windows treats it), importing
# only functions that contrib/windows/imports.txt lists, with the PE header
# naming the newest Windows of those as the oldest it runs on. Runs the
# integration suite against the 64-bit program under Wine and against the
# 32-bit one under a 32-bit Wine in an i386 Debian root, and README.txt's
# test by hand at Wine's command prompt.
set -euo pipefail
cd "$(dirname "$0")/../.."

need=()
{ command -v x86_64-w64-mingw32-g++ && command -v x86_64-w64-mingw32-objdump; } \
  >/dev/null || need+=(g++-mingw-w64-x86-64)
command -v i686-w64-mingw32-g++ >/dev/null || need+=(g++-mingw-w64-i686)
{ command -v wine && command -v wineserver; } >/dev/null || need+=(wine)
# Debian's wine runs 64-bit programs with the loader from the wine64 package;
# the 32-bit loader (wine32) goes only into the i386 root, never here.
if command -v dpkg >/dev/null && [ ! -x /usr/lib/wine/wine64 ]; then
  need+=(wine64)
fi
command -v debootstrap >/dev/null || need+=(debootstrap)
{ command -v as && command -v ld; } >/dev/null || need+=(binutils)
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}"
fi

# shellcheck source=.ci/common.sh
. .ci/common.sh

cmake --workflow --preset windows
cmake --workflow --preset windows32

# The oldest Windows of each listed function, as PE header versions.
declare -A windows_version=([any]=0.0 [2000]=5.0 [XP]=5.1 [Vista]=6.0
  [7]=6.1 [8]=6.2 [8.1]=6.3 [10]=10.0)
declare -A listed
while read -r dll function windows; do
  [ -n "${windows_version[$windows]:-}" ] ||
    fail "imports.txt: $dll $function: no such Windows: '$windows'"
  listed["$dll $function"]=$windows
done < <(grep -v -e '^#' -e '^$' contrib/windows/imports.txt)

# Checks the program of one preset; $2 is the PE format objdump names.
check_program() {
  local exe="build/$1/BRINOK.EXE" format=$2 headers imports newest=0.0 from=
  local dll function windows unlisted=() field version resources
  headers=$(x86_64-w64-mingw32-objdump -p "$exe")
  [ "$(awk '$1 == "Magic" { print $3 }' <<<"$headers")" = "($format)" ] ||
    fail "$exe is not $format: $(grep '^Magic' <<<"$headers")"
  # Subsystem 2 is the Windows GUI: started without a console window.
  grep -Eq '^Subsystem[[:space:]]+0+2[[:space:]]' <<<"$headers" ||
    fail "$exe is not a Windows GUI program: $(grep '^Subsystem' <<<"$headers")"
  imports=$(awk '/^[[:space:]]*DLL Name: / { dll = tolower($3); next }
    dll != "" && NF == 0 { dll = "" }
    dll != "" && $1 ~ /^[0-9a-f]+$/ && NF >= 3 { print dll, $3 }' <<<"$headers")
  [ -n "$imports" ] || fail "$exe: no imports found"
  while read -r dll function; do
    windows=${listed["$dll $function"]:-}
    if [ -z "$windows" ]; then
      unlisted+=("$dll $function")
    elif [ "$(printf '%s\n' "${windows_version[$windows]}" "$newest" |
      sort -V | tail -n 1)" != "$newest" ]; then
      newest=${windows_version[$windows]}
      from="$function"
    fi
  done <<<"$imports"
  # Runtime DLLs of the compiler (libstdc++, libgcc, libwinpthread) would
  # have to be shipped alongside; a Windows function goes into the list
  # with the oldest Windows that has it.
  [ ${#unlisted[@]} -eq 0 ] ||
    fail "$exe imports what contrib/windows/imports.txt does not list: ${unlisted[*]}"
  # The loader refuses the program on a Windows older than its header says.
  for field in OSystem Subsystem; do
    version=$(awk -v major="Major${field}Version" -v minor="Minor${field}Version" \
      '$1 == major { x = $2 + 0 } $1 == minor { y = $2 + 0 } END { print x "." y }' \
      <<<"$headers")
    [ "$version" = "$newest" ] ||
      fail "$exe: the header's ${field} version is $version, but the newest Windows of its imports is $newest ($from)"
  done
  # Resources by type: a manifest would show as type 24.
  resources=$(x86_64-w64-mingw32-windres -J coff -i "$exe" -O rc |
    sed -n 's|^/\* Type: \(.*\)$|\1|p' | sort -u | tr '\n' ' ')
  [ "$resources" = "version " ] ||
    fail "$exe has resources besides its version: $resources"
  echo "$exe: $format, Windows GUI, for Windows $newest ($from)," \
    "$(wc -l <<<"$imports") imports from" \
    "$(cut -d' ' -f1 <<<"$imports" | sort -u | tr '\n' ' ')resources: $resources"
}
check_program windows PE32+
check_program windows32 PE32

# The native integration tests drive the Windows programs.
[ -f build/dev/CMakeCache.txt ] || cmake --preset dev
cmake --build --preset dev --target brinok_run_tests

# Quiet Wine, with the ANSI code page 1252; a private prefix for each
# program, with one server each for a whole suite, started with its helper
# processes before the first test: a process started by a test would
# otherwise keep the test's output pipe open. A server left over from an
# earlier use of a prefix is replaced; ours are stopped however the step
# ends. $wine is the command that runs Wine's programs ("" for this machine).
export WINEDEBUG=-all
export LANG=en_US.UTF-8
wine_log="$work/wine.log"
wine=()
servers=()
stop_wine() {
  local prefix
  for prefix in "${servers[@]}"; do
    WINEPREFIX=$prefix "${wine[@]}" wineserver -k 2>/dev/null || true
  done
  rm -rf "$work"
}
trap stop_wine EXIT
start_wine() {
  export WINEPREFIX="$PWD/build/$1/wineprefix"
  mkdir -p "$WINEPREFIX"
  "${wine[@]}" wineserver -k >>"$wine_log" 2>&1 || true
  "${wine[@]}" wineserver -w
  "${wine[@]}" wineserver -p </dev/null >>"$wine_log" 2>&1
  servers+=("$WINEPREFIX")
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d' \
      "${wine[@]}" wineboot -i </dev/null >>"$wine_log" 2>&1
  fi
}

# A first run in an empty directory starts what Wine needs and shows that
# the exit status reaches the caller (3: no weather log); then the suite,
# whose Windows-only tests run (and never skip) with BRINOK_TEST_PLATFORM set.
run_suite() {
  local exe="$PWD/build/$1/BRINOK.EXE" empty status=0
  empty=$(mktemp -d "$work/empty.XXXXXX")
  (cd "$empty" && "${wine[@]}" wine "$exe" </dev/null >>"$wine_log" 2>&1) ||
    status=$?
  [ "$status" -eq 3 ] || {
    cat "$wine_log" >&2
    fail "$exe under Wine in an empty directory: exit $status, not 3"
  }
  BRINOK_TEST_PLATFORM=windows BRINOK_TEST_COMMAND="${wine[*]} wine $exe" \
    timeout 600 build/dev/tests/brinok_run_tests --gtest_brief=1
}

echo "-- the 64-bit program under Wine"
start_wine windows
run_suite windows

echo "-- README.txt's test by hand, at Wine's command prompt"
# The lines as README.txt shows them, typed into cmd, in a station folder
# that holds BRINOK.EXE.
station="$work/station"
mkdir "$station"
cp build/windows/BRINOK.EXE "$station/"
sed -n '/^Testing by hand$/,/^Use "start/{/^  [^ ]/s/^  //p}' \
  contrib/windows/README.txt.in |
  sed "s|C:\\\\Station|Z:${station//\//\\\\}|" >"$work/typed.txt"
grep -q 'start /wait BRINOK.EXE' "$work/typed.txt" ||
  fail "README.txt's test by hand not found"
typed=$(cd "$station" && wine cmd <"$work/typed.txt" 2>>"$wine_log" | tr -d '\r')
grep -qx '.*>0' <<<"$typed" || fail "README.txt's test by hand: $typed"
[ ! -e "$station/QQ9QQ-7.Log" ] || fail "README.txt's test by hand left the log"
data=$(sed -n 2p "$station/BRINOK.TXT" | tr -d '\r')
grep -qF "data line, $data." contrib/windows/README.txt.in ||
  fail "README.txt's test by hand gives $data, not the data line it shows"
echo "typed $(wc -l <"$work/typed.txt") lines: exit status 0, data line $data"

echo "-- the 32-bit program under a 32-bit Wine"
# Only where the kernel runs 32-bit x86 programs, as a static one shows.
# shellcheck disable=SC2016 # assembler, not shell
printf '.globl _start\n_start:\n movl $1, %%eax\n movl $42, %%ebx\n int $0x80\n' \
  >"$work/probe.s"
as --32 -o "$work/probe.o" "$work/probe.s"
ld -m elf_i386 -o "$work/probe" "$work/probe.o"
status=0
"$work/probe" 2>/dev/null || status=$?
if [ "$status" -ne 42 ]; then
  echo "skipped: this kernel does not run 32-bit programs (exit $status)"
  exit 0
fi
bash .ci/wine32-root.sh build/wine32-root
export BRINOK_WINE32_ROOT="$PWD/build/wine32-root"
wine=("$PWD/.ci/in-wine32-root")
start_wine windows32
run_suite windows32
