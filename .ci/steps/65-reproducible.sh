#!/usr/bin/env bash
# Reproducible packages: the .deb, the .tar.gz and both zips from the earlier
# steps' builds and built again from nothing elsewhere, later, in another time
# zone, without git and (Linux's) by another account are the same bytes; files
# dated by the last commit, the .tar.gz's owned by root, the zips' programs
# stripped (lintian holds the .deb to gzip -n and a stripped program).
# shellcheck source=.ci/common.sh
. "$(dirname "$0")/../common.sh"

packages=("brinok_${version}_$(dpkg --print-architecture).deb"
  "brinok-$version-linux-$(uname -m).tar.gz" "brinok-$version-win64.zip"
  "brinok-$version-win32.zip")
first="$work/here" second="$work/the-other-build"
for preset in release windows windows32; do
  [ -f "build/$preset/CMakeCache.txt" ] || cmake --preset "$preset" >/dev/null
  cmake --build "build/$preset" >/dev/null
  TZ=UTC0 cpack --config "build/$preset/CPackConfig.cmake" -B "$first" >/dev/null
done

# The sources as they stand, without git: the other build takes the last
# commit's time from SOURCE_DATE_EPOCH. A zip records its builder's account
# in each entry's Unix extra field, which Windows ignores, so only the Linux
# packages are built by nobody.
mkdir -p "$second/src"
git ls-files -z --cached --others --exclude-standard |
  xargs -0 cp --parents -t "$second/src"
chown -R 65534:65534 "$second"
chmod 755 "$work"
build_from_nothing() {
  cd "$second/src"
  cmake --preset "$1" -DBRINOK_BUILD_TESTS=OFF -DBRINOK_BUILD_FUZZERS=OFF >/dev/null
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
  sha256sum "$first/$package" "$second/packages/$package"
  cmp "$first/$package" "$second/packages/$package" ||
    fail "$package differs between the two builds"
done
stamp=$(date -u -d "@$SOURCE_DATE_EPOCH" '+%F %T')
for listing in "dpkg-deb --fsys-tarfile $first/${packages[0]}" "gzip -dc $first/${packages[1]}"; do
  dates=$($listing | TZ=UTC0 tar -tv --full-time | awk '{ print $4, $5 }' | sort -u)
  [ "$dates" = "$stamp" ] || fail "$listing: file dates $dates, not the last commit's $stamp"
done
owners=$(tar --numeric-owner -tvzf "$second/packages/${packages[1]}" | awk '{ print $2 }' |
  sort -u)
[ "$owners" = 0/0 ] || fail "${packages[1]}: entries owned by $owners, not 0/0"
for zip in "${packages[@]:2}"; do
  (cd "$work" && cmake -E tar xf "$first/$zip")
  exe="$work/${zip%.zip}/bin/BRINOK.EXE"
  ! objdump -h "$exe" | grep -q ' \.debug' || fail "$zip: BRINOK.EXE has debug sections"
  ! objdump -t "$exe" | grep -q '^\[' || fail "$zip: BRINOK.EXE has symbols"
done
