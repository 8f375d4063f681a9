#!/usr/bin/env bash
# ARM Linux (Raspberry Pi and others): for arm64, armhf and armel, the static
# release program and its tests cross-built, the tests run under qemu-user on
# the oldest processor the build is for, the packages checked.
# shellcheck source=.ci/common.sh
. "$(dirname "$0")/../common.sh"

# The Debian architecture (the preset), the processor in the .tar.gz's name,
# what readelf -h shows, and the emulator as in cmake/.
while read -r -u 3 arch processor elf emulator; do
  cmake --preset "$arch"
  cmake --build "build/$arch"
  ctest --test-dir "build/$arch" --output-on-failure --no-tests=error
  cmake --build "build/$arch" --target package
  # shellcheck disable=SC2086 # the emulator is a command line of words
  check_packages "build/$arch" "$arch" "$processor" "$elf" $emulator
done 3<<'EOF'
arm64 aarch64 Machine:[[:space:]]+AArch64 qemu-aarch64 -cpu cortex-a53
armhf armv7l Flags:.*hard-float qemu-arm -cpu cortex-a7
armel armv5tel Flags:.*soft-float qemu-arm -cpu arm1176
EOF

# Debian's armhf is ARMv7: on the ARM1176 of a Pi 1 or Pi Zero, as the
# README says, its first ARMv7 instruction ends it with SIGILL (128 + 4).
convert "" qemu-arm -cpu arm1176 "$PWD/build/armhf/brinok"
[ "$status" -eq 132 ] ||
  fail "armhf on an ARM1176: exit status $status, not 132 (SIGILL)"
