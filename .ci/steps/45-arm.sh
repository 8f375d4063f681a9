#!/usr/bin/env bash
# Raspberry Pi and other ARM Linux machines: cross-builds the static release
# program and its tests for arm64, armhf and armel, runs the tests under
# qemu-user on the oldest processor each build is for, packs each build and
# checks its packages: names, Debian architecture, no dependencies, a static
# program for the right processor that publishes the sample report, lintian.
# armhf is also shown not to run on the ARMv6 boards, which armel serves.
set -euo pipefail
cd "$(dirname "$0")/../.."

need=()
command -v aarch64-linux-gnu-g++ >/dev/null || need+=(g++-aarch64-linux-gnu)
command -v arm-linux-gnueabihf-g++ >/dev/null || need+=(g++-arm-linux-gnueabihf)
command -v arm-linux-gnueabi-g++ >/dev/null || need+=(g++-arm-linux-gnueabi)
{ command -v qemu-aarch64 && command -v qemu-arm; } >/dev/null ||
  need+=(qemu-user)
# The tests build GoogleTest for each target from these sources.
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(libgtest-dev)
command -v readelf >/dev/null || need+=(binutils)
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -qq
  # Without recommends: qemu-user recommends registering the emulators with
  # the kernel (qemu-user-binfmt), and ARM programs would then run even where
  # the tests forgot to put the emulator in front of them.
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    --no-install-recommends "${need[@]}"
fi

# shellcheck source=.ci/common.sh
. .ci/common.sh

# Runs the program given after the directory in a fresh copy of the sample
# log there; prints the exit status.
run_sample() {
  local dir=$1 status=0
  shift
  rm -rf "$dir"
  mkdir -p "$dir"
  cp examples/QQ9QQ-7.Log "$dir/"
  (cd "$dir" && "$@" </dev/null >/dev/null 2>&1) || status=$?
  echo "$status"
}

# Per build: the Debian architecture (preset), the processor in the name of
# the .tar.gz, what readelf -h must show, and the emulator as in cmake/.
while read -r arch processor elf emulator; do
  echo "-- $arch"
  cmake --preset "$arch"
  cmake --build "build/$arch"
  ctest --test-dir "build/$arch" --output-on-failure --no-tests=error
  cmake --build "build/$arch" --target package

  deb="build/$arch/brinok_${version}_$arch.deb"
  tgz="build/$arch/brinok-$version-linux-$processor.tar.gz"
  [ -f "$deb" ] || fail "cpack made no $deb"
  [ -f "$tgz" ] || fail "cpack made no $tgz"
  [ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] ||
    fail "$deb: Architecture $(dpkg-deb -f "$deb" Architecture)"
  [ -z "$(dpkg-deb -f "$deb" Depends)" ] || fail "$deb has dependencies"
  tar -tzf "$tgz" | grep -qx "brinok-$version-linux-$processor/bin/brinok" ||
    fail "$tgz has no bin/brinok"

  unpacked="$work/$arch"
  dpkg-deb -x "$deb" "$unpacked"
  program="$unpacked/usr/bin/brinok"
  readelf -h "$program" | grep -Eq "$elf" ||
    fail "$deb: the program is not for $arch ($elf)"
  readelf -d "$program" | grep -q NEEDED &&
    fail "$deb: the program needs shared libraries"
  # shellcheck disable=SC2086 # the emulator is a command line of words
  status=$(run_sample "$work/station" $emulator "$program")
  [ "$status" -eq 0 ] || fail "$deb: the packaged program exited $status"
  line=$(sed -n '2p' "$work/station/BRINOK.TXT" | tr -d '\r')
  [ "$line" = 270/005g012t068P012b10132h55 ] ||
    fail "$deb: the packaged program wrote the data line $line"
  echo "$deb: Architecture $arch, runs under $emulator"
done <<'EOF'
arm64 aarch64 Machine:[[:space:]]+AArch64 qemu-aarch64 -cpu cortex-a53
armhf armv7l Flags:.*hard-float qemu-arm -cpu cortex-a7
armel armv5tel Flags:.*soft-float qemu-arm -cpu arm1176
EOF

# Debian's armhf is ARMv7: on the ARM1176 of a Pi 1 or Pi Zero its first
# ARMv7 instruction ends it with SIGILL (qemu-arm then kills itself with
# it, 128 + 4). The README says so; armel is what those boards get.
status=$(run_sample "$work/station" qemu-arm -cpu arm1176 "$PWD/build/armhf/brinok")
[ "$status" -eq 132 ] ||
  fail "armhf on an ARM1176: exit status $status, not 132 (SIGILL)"
echo "armhf on an ARM1176: SIGILL, as the README says"

bash .ci/lintian-deb.sh build/arm64/brinok_"$version"_arm64.deb \
  build/armhf/brinok_"$version"_armhf.deb \
  build/armel/brinok_"$version"_armel.deb

echo "ARM builds: all checks passed"
