#!/usr/bin/env bash
# Reproducible packages: the .deb, the .tar.gz and both zips, packed from
# the earlier steps' builds and built again from nothing in another folder
# (the Linux ones by another account), later, in another time zone and
# without git, are the same bytes. Also what that takes: file dates from the last commit, the
# .tar.gz's entries owned by root, stripped programs, the .deb's README and
# CHANGELOG under gzip -9n.
# shellcheck source=.ci/common.sh
. "$(dirname "$0")/../common.sh"

arch=$(dpkg --print-architecture)
packages=("brinok_${version}_$arch.deb" "brinok-$version-linux-$(uname -m).tar.gz"
  "brinok-$version-win64.zip" "brinok-$version-win32.zip")
presets=(release windows windows32)

first="$work/here"
for preset in "${presets[@]}"; do
  [ -f "build/$preset/CMakeCache.txt" ] || cmake --preset "$preset" >/dev/null
  cmake --build "build/$preset" >/dev/null
  TZ=UTC0 cpack --config "build/$preset/CPackConfig.cmake" -B "$first" >/dev/null
done

# The sources as they stand, without git: the other build takes the last
# commit's time from SOURCE_DATE_EPOCH, the first one from git itself. The
# Linux packages are built by nobody; a zip records its builder's account
# in each entry's Unix extra field, which Windows ignores.
second="$work/the-other-build"
mkdir -p "$second/src"
git ls-files -z --cached --others --exclude-standard |
  xargs -0 cp --parents -t "$second/src"
chown -R 65534:65534 "$second"
chmod 755 "$work"
build_from_nothing() {
  cd "$second/src"
  cmake --preset "$1" -DBRINOK_BUILD_TESTS=OFF -DBRINOK_BUILD_FUZZERS=OFF \
    >/dev/null
  cmake --build "build/$1" >/dev/null
  cpack --config "build/$1/CPackConfig.cmake" -B ../packages >/dev/null
}
export -f build_from_nothing
export second TZ=NZST-12 SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
sleep 1
HOME=$second setpriv --reuid=65534 --regid=65534 --clear-groups \
  bash -ec 'build_from_nothing release'
(build_from_nothing windows && build_from_nothing windows32)

for package in "${packages[@]}"; do
  for dir in "$first" "$second/packages"; do
    [ -f "$dir/$package" ] || fail "no $package in $dir"
    (cd "$dir" && sha256sum "$package")
  done
  cmp -s "$first/$package" "$second/packages/$package" ||
    fail "$package differs between the two builds"
done

stamp=$(date -u -d "@$(git log -1 --format=%ct)" '+%F %T')
deb="$first/${packages[0]}"
tgz="$first/${packages[1]}"
for listing in "dpkg-deb --fsys-tarfile $deb" "gzip -dc $tgz"; do
  dates=$($listing | TZ=UTC0 tar -tv --full-time | awk '{ print $4, $5 }' |
    sort -u)
  [ "$dates" = "$stamp" ] ||
    fail "$listing: file dates $dates, not the last commit's $stamp"
done
owners=$(tar --numeric-owner -tvzf "$second/packages/${packages[1]}" |
  awk '{ print $2 }' | sort -u)
[ "$owners" = 0/0 ] || fail "${packages[1]}: entries owned by $owners, not 0/0"
unpacked="$work/unpacked"
dpkg-deb -x "$deb" "$unpacked"
doc="$unpacked/usr/share/doc/brinok"
for text in build/release/README.md CHANGELOG.md; do
  gzip -9n -c "$text" | cmp -s - "$doc/$(basename "$text").gz" ||
    fail "the .deb's $(basename "$text").gz is not $text under gzip -9n"
done
! zcat "$doc/README.md.gz" | grep -n '](HACKING.md)' ||
  fail "the .deb's README links HACKING.md, which the package lacks"
! readelf -S "$unpacked/usr/bin/brinok" | grep -q '\.symtab' ||
  fail "the .deb's program is not stripped"
for zip in "${packages[@]:2}"; do
  (cd "$work" && cmake -E tar xf "$first/$zip")
  exe="$work/${zip%.zip}/bin/BRINOK.EXE"
  ! objdump -h "$exe" | grep -q ' \.debug' || fail "$zip: BRINOK.EXE has debug sections"
  ! objdump -t "$exe" | grep -q '^\[' || fail "$zip: BRINOK.EXE has symbols"
done
