#!/usr/bin/env bash
# Reproducible packages: the release build's .deb and .tar.gz and the 64-
# and 32-bit Windows zips, each built twice from nothing, in two folders, at
# two times and in two time zones, are the same bytes. The
# checksums are printed. Also checks what the packages must hold for that:
# file dates from the last commit, stripped programs, and the .deb's README
# and CHANGELOG compressed with gzip -9n.
# shellcheck source=.ci/common.sh
. "$(dirname "$0")/../common.sh"

arch=$(dpkg --print-architecture)
packages=("brinok_${version}_$arch.deb" "brinok-$version-linux-$(uname -m).tar.gz"
  "brinok-$version-win64.zip" "brinok-$version-win32.zip")

# Configures, builds and packs each package preset in folder $1 from scratch
# (without the tests, which no package holds), the packages landing in
# $1/packages.
build_all() {
  local dir=$1 preset
  for preset in release windows windows32; do
    cmake --preset "$preset" -B "$dir/$preset" -DBRINOK_BUILD_TESTS=OFF \
      -DBRINOK_BUILD_FUZZERS=OFF >/dev/null
    cmake --build "$dir/$preset" >/dev/null
    cpack --config "$dir/$preset/CPackConfig.cmake" -B "$dir/packages" \
      >/dev/null
  done
}

first="$work/one"
second="$work/the-second-build"
echo "-- first build in $first at $(date -u '+%T'), TZ=UTC0"
TZ=UTC0 build_all "$first"
sleep 1
echo "-- second build in $second at $(date -u '+%T'), TZ=NZST-12"
TZ=NZST-12 build_all "$second"

echo "-- checksums"
for package in "${packages[@]}"; do
  for dir in "$first" "$second"; do
    [ -f "$dir/packages/$package" ] || fail "no $package in $dir/packages"
  done
  (cd "$first/packages" && sha256sum "$package")
  (cd "$second/packages" && sha256sum "$package")
  cmp -s "$first/packages/$package" "$second/packages/$package" ||
    fail "$package differs between the two builds"
done

echo "-- contents"
epoch=$(git log -1 --format=%ct)
stamp=$(date -u -d "@$epoch" '+%F %T')
deb="$first/packages/${packages[0]}"
tgz="$first/packages/${packages[1]}"
for listing in "dpkg-deb --fsys-tarfile $deb" "gzip -dc $tgz"; do
  dates=$($listing | TZ=UTC0 tar -tv --full-time | awk '{ print $4, $5 }' |
    sort -u)
  [ "$dates" = "$stamp" ] ||
    fail "$listing: file dates $dates, not the last commit's $stamp"
done
unpacked="$work/unpacked"
dpkg-deb -x "$deb" "$unpacked"
doc="$unpacked/usr/share/doc/brinok"
for text in README.md CHANGELOG.md; do
  gzip -9n -c "$text" | cmp -s - "$doc/$text.gz" ||
    fail "the .deb's $text.gz is not $text under gzip -9n"
done
readelf -S "$unpacked/usr/bin/brinok" | grep -q '\.symtab' &&
  fail "the .deb's program is not stripped"
for zip in "${packages[@]:2}"; do
  (cd "$work" && cmake -E tar xf "$first/packages/$zip")
  exe="$work/${zip%.zip}/bin/BRINOK.EXE"
  objdump -h "$exe" | grep -q ' \.debug' && fail "$zip: BRINOK.EXE has debug sections"
  objdump -t "$exe" | grep -q '^\[' && fail "$zip: BRINOK.EXE has symbols"
done
echo "reproducible packages: all checks passed"
