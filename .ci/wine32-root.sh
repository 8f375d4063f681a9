#!/usr/bin/env bash
# Makes, once, the i386 Debian 12 root (minbase, with Wine) that the 32-bit
# BRINOK.EXE is tested in: wine32 belongs there, never on the machine itself.
# A finished root is kept, an unfinished one made again; .ci/in-wine32-root
# runs a program in it.
#   bash .ci/wine32-root.sh build/wine32-root
set -euo pipefail

root=${1:?usage: $0 ROOT}
# Bump when the root's contents change, so that a kept root is made again.
recipe="bookworm i386 minbase wine 1"
[ "$(cat "$root/.brinok-root" 2>/dev/null)" != "$recipe" ] || exit 0

# The Debian mirror this machine's apt uses; where it names none,
# debootstrap's own default.
mirror=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
  /etc/apt/sources.list.d/*.sources 2>/dev/null |
  sed -n -e 's|^deb \(\[[^]]*\] \)\{0,1\}\(https\{0,1\}://[^ ]*/debian\)/\{0,1\} .*|\2|p' \
    -e 's|^URIs: \(https\{0,1\}://[^ ]*/debian\)/\{0,1\}$|\1|p' |
  head -n 1) || true

start=$SECONDS
new="$root.new"
rm -rf "$new" "$new.log"
mkdir -p "$(dirname "$root")"
# Runs CMD... with its output in the log, whose end a failure shows.
logged() { "$@" >>"$new.log" 2>&1 || { tail -n 20 "$new.log" >&2; exit 1; }; }
logged debootstrap --arch=i386 --variant=minbase bookworm "$new" ${mirror:+"$mirror"}
# Wine without its recommendations (fonts, sound, Mono and Gecko hooks),
# installed with /dev and /proc of the machine in a mount namespace of its
# own, so that nothing stays mounted.
cp /etc/resolv.conf "$new/etc/resolv.conf"
# shellcheck disable=SC2016 # expanded by the inner shell
logged unshare -m --propagation private sh -c '
  mount --rbind /dev "$1/dev" && mount -t proc proc "$1/proc" &&
  exec chroot "$1" sh -c "apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
      --no-install-recommends wine && apt-get clean"' sh "$new"
[ -x "$new/usr/lib/wine/wine" ] ||
  { echo "the i386 root has no 32-bit Wine loader" >&2; exit 1; }
echo "$recipe" >"$new/.brinok-root"
rm -rf "$root"
mv "$new" "$root"
rm -f "$new.log"
# shellcheck disable=SC2016 # dpkg-query's format
wine32=$(chroot "$root" dpkg-query -W -f '${Package} ${Version}' wine32)
echo "i386 root with $wine32 from ${mirror:-the default mirror} made" \
  "in $((SECONDS - start)) s"
