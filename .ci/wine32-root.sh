#!/usr/bin/env bash
# Makes, once, the i386 Debian root that the 32-bit BRINOK.EXE is tested in:
# Debian 12 (minbase) with Wine, whose 32-bit loader (wine32) lives only
# there, never on the machine itself. The finished root is kept and reused;
# an unfinished one is made again. .ci/in-wine32-root runs a program in
# it. Needs debootstrap (.ci/run installs it).
#   bash .ci/wine32-root.sh build/wine32-root
set -euo pipefail

root=${1:?usage: $0 ROOT}
# Bump when the root's contents change, so that a kept root is made again.
recipe="bookworm i386 minbase wine 1"
if [ "$(cat "$root/.brinok-root" 2>/dev/null)" = "$recipe" ]; then
  exit 0
fi

# The Debian mirror this machine's apt uses; where it names none,
# debootstrap's own default.
mirror=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
  /etc/apt/sources.list.d/*.sources 2>/dev/null |
  sed -n -e 's|^deb \(\[[^]]*\] \)\{0,1\}\(https\{0,1\}://[^ ]*/debian\)/\{0,1\} .*|\2|p' \
    -e 's|^URIs: \(https\{0,1\}://[^ ]*/debian\)/\{0,1\}$|\1|p' |
  head -n 1) || true

start=$SECONDS
new="$root.new"
rm -rf "$new"
mkdir -p "$(dirname "$root")"
echo "-- debootstrap i386 bookworm from ${mirror:-the default mirror} into $root"
debootstrap --arch=i386 --variant=minbase bookworm "$new" ${mirror:+"$mirror"} \
  >"$new.log" 2>&1 || {
  tail -n 20 "$new.log" >&2
  exit 1
}
# Wine without its recommendations (fonts, sound, Mono and Gecko hooks),
# installed with /dev and /proc of the machine in a mount namespace of its
# own, so that nothing stays mounted.
cp /etc/resolv.conf "$new/etc/resolv.conf"
# shellcheck disable=SC2016 # expanded by the inner shell
unshare -m --propagation private sh -c '
  mount --rbind /dev "$1/dev" && mount -t proc proc "$1/proc" &&
  exec chroot "$1" sh -c "apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
      --no-install-recommends wine && apt-get clean"' sh "$new" \
  >>"$new.log" 2>&1 || {
  tail -n 20 "$new.log" >&2
  exit 1
}
[ -x "$new/usr/lib/wine/wine" ] || {
  echo "the i386 root has no 32-bit Wine loader" >&2
  exit 1
}
echo "$recipe" >"$new/.brinok-root"
rm -rf "$root"
mv "$new" "$root"
rm -f "$new.log"
# shellcheck disable=SC2016 # dpkg-query's format
wine32=$(chroot "$root" dpkg-query -W -f '${Package} ${Version}' wine32)
echo "-- i386 root with $wine32 made in $((SECONDS - start)) s"
