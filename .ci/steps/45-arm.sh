#!/usr/bin/env bash
# ARM Linux (Raspberry Pi and others): for arm64 and armel, the static
# release program and its tests cross-built, the tests run under qemu-user on
# the oldest processor the build is for, the packages checked; the armel
# program packed for armhf too, run on a Pi 1's ARM1176.
# shellcheck source=.ci/common.sh
. "$(dirname "$0")/../common.sh"

# The Debian architecture (the preset), the processor in the .tar.gz's name
# (- for none), what readelf -h shows, and the emulator as in cmake/.
while read -r -u 3 arch processor elf emulator; do
  cmake --preset "$arch"
  cmake --build "build/$arch"
  [ "$processor" = - ] ||
    ctest --test-dir "build/$arch" --output-on-failure --no-tests=error
  cmake --build "build/$arch" --target package
  # shellcheck disable=SC2086 # the emulator is a command line of words
  check_packages "build/$arch" "$arch" "$processor" "$elf" $emulator
done 3<<'EOF'
arm64 aarch64 Machine:[[:space:]]+AArch64 qemu-aarch64 -cpu cortex-a53
armel armv5tel Flags:.*soft-float qemu-arm -cpu arm1176
armhf - Flags:.*soft-float qemu-arm -cpu arm1176
EOF
