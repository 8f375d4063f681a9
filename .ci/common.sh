# shellcheck shell=bash
# What the steps share; a step sources it first and runs from the
# repository's root, with a scratch folder removed when it ends (a step that
# replaces the trap removes it too).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
version=$(sed -n 's/^  VERSION \([0-9.]*\)$/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no project version in CMakeLists.txt"
# The data line of the report on examples/QQ9QQ-7.Log.
sample_line=270/005g012t068P012b10132h55

# Runs CMD... every $poll_pause seconds (0.1 unless set) until it succeeds, for
# at most $1 seconds.
poll() {
  local pause=${poll_pause:-0.1} tries
  tries=$(awk -v s="$1" -v p="$pause" 'BEGIN { print int(s / p) }')
  until "${@:2}"; do
    ((--tries > 0)) || return 1
    sleep "$pause"
  done
}

# Runs CMD... in a fresh folder on a log of the lines in $1 (CR LF; the
# sample log when empty); sets $status and $line, the report's data line.
convert() {
  local dir
  dir=$(mktemp -d "$work/run.XXXXXX")
  if [ -n "$1" ]; then printf '%s\r\n' "${1//$'\n'/$'\r\n'}"
  else cat examples/QQ9QQ-7.Log; fi >"$dir/QQ9QQ-7.Log"
  shift
  status=0
  (cd "$dir" && "$@" </dev/null >/dev/null 2>&1) || status=$?
  line=$(sed -n 2p "$dir/BRINOK.TXT" 2>/dev/null | tr -d '\r') || true
}
# Fails unless CMD... publishes the data line $1 from the log lines in $2.
expect_line() {
  local want=$1 lines=$2
  shift 2
  convert "$lines" "$@"
  [[ $status -eq 0 && $line == "$want" ]] ||
    fail "$* on '${lines//$'\n'/ }': exit status $status, data line '$line', not $want"
}

# Checks the .deb and .tar.gz that cpack made in $1 for the Debian
# architecture $2 and the processor $3 (in the .tar.gz's name; - for a .deb
# alone): the program and its manuals in them, adduser alone needed, a
# README that links nothing the package lacks, a static program whose ELF
# header matches $4 and that, started by CMD... (an emulator, or nothing),
# publishes the sample's report; then lintian, which must find no error or
# warning.
check_packages() {
  local arch=$2 processor=$3 elf=$4 unpacked="$work/$2" status=0 output
  local deb="$1/brinok_${version}_$2.deb" tgz="$1/brinok-$version-linux-$3.tar.gz"
  shift 4
  local fields=$'Architecture: '"$arch"$'\nDepends: adduser'
  [ "$(dpkg-deb -f "$deb" Architecture Depends)" = "$fields" ] ||
    fail "$deb: $(dpkg-deb -f "$deb" Architecture Depends)"
  [ "$(dpkg-deb -c "$deb" | awk '{ print $6 }' | grep -cx -e ./usr/bin/brinok \
    -e ./usr/share/man/man1/brinok.1.gz -e ./usr/share/man/man8/brinok-setup.8.gz)" -eq 3 ] ||
    fail "$deb lacks usr/bin/brinok or a manual"
  [ "$processor" = - ] ||
    tar -tzf "$tgz" | grep -qx "brinok-$version-linux-$processor/bin/brinok" ||
    fail "$tgz has no bin/brinok"
  dpkg-deb -x "$deb" "$unpacked"
  zcat "$unpacked/usr/share/doc/brinok/README.md.gz" | grep -o '](\([^)#:]*\))' |
    sed 's/^](\(.*\))$/\1/' | sort -u | while read -r target; do
      [ -e "$unpacked/usr/share/doc/brinok/$target" ] ||
        [ -e "$unpacked/usr/share/doc/brinok/$target.gz" ] ||
        fail "$deb: its README links $target, which the package lacks"
    done
  readelf -h "$unpacked/usr/bin/brinok" | grep -Eq "$elf" ||
    fail "$deb: the program is not for $arch ($elf)"
  ! readelf -d "$unpacked/usr/bin/brinok" | grep -q NEEDED ||
    fail "$deb: the program needs shared libraries"
  expect_line "$sample_line" "" "$@" "$unpacked/usr/bin/brinok"
  # The verdict is read from the tags, as Debian 12's lintian exits 2 for
  # overridden ones too: E: and W: fail, O: (an override, with its reason)
  # passes. Its complaint about running as root, as CI does, is dropped.
  output=$(lintian --display-level '>=pedantic' --show-overrides "$deb" \
    2> >(grep -v '^running with root privileges' >&2)) || status=$?
  [ -z "$output" ] || echo "$output"
  case $status in 0 | 2) ;; *) fail "lintian exited $status on $deb" ;; esac
  ! grep -q '^[EW]: ' <<<"$output" ||
    fail "lintian found errors or warnings in $deb"
}
