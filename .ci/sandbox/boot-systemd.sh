#!/usr/bin/env bash
# Boots systemd as PID 1 of the namespaces it is started in (by
# sandbox_start in .ci/sandbox/systemd.sh) on a copy-on-write view of this
# machine, so that nothing systemd or a test does reaches the real files.
# Usage: boot-systemd.sh SCRATCH-DIRECTORY [SYSTEMD-ARGUMENT...]
set -euo pipefail
scratch=$1
shift
[ "$$" -eq 1 ] ||
  { echo "boot-systemd.sh: must run as PID 1 of a new PID namespace" >&2; exit 1; }
# The mounts below are this namespace's own; none propagates back.
mount --make-rprivate /

# The root: an overlay whose upper layer is a tmpfs that lives only as long
# as this mount namespace; the machine's / is only ever read.
mount -t tmpfs -o mode=0700 brinok-sandbox "$scratch"
mkdir "$scratch/upper" "$scratch/work" "$scratch/root"
mount -t overlay overlay \
  -o "lowerdir=/,upperdir=$scratch/upper,workdir=$scratch/work" "$scratch/root"
root=$scratch/root

# /sys and /proc/sys read-only, a cgroup tree of this namespace's own; /dev,
# /run and /tmp fresh, /dev with only harmless character devices.
mount -t proc proc "$root/proc"
mount --bind "$root/proc/sys" "$root/proc/sys"
mount -o remount,bind,ro "$root/proc/sys"
mount --bind /sys "$root/sys"
mount -o remount,bind,ro "$root/sys"
mount -t cgroup2 cgroup2 "$root/sys/fs/cgroup"
mount -t tmpfs -o mode=0755,nosuid dev "$root/dev"
for device in null zero full random urandom tty; do
  touch "$root/dev/$device"
  mount --bind "/dev/$device" "$root/dev/$device"
done
mkdir "$root/dev/shm" "$root/dev/pts"
mount -t tmpfs -o mode=1777,nosuid,nodev shm "$root/dev/shm"
# A private pseudo-terminal instance, and the links a system expects in /dev
# (PrivateDevices= copies /dev/ptmx into a service's own /dev).
mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts "$root/dev/pts"
ln -s pts/ptmx "$root/dev/ptmx"
ln -s /proc/self/fd "$root/dev/fd"
for fd in 0:stdin 1:stdout 2:stderr; do
  ln -s "/proc/self/fd/${fd%%:*}" "$root/dev/${fd#*:}"
done
mount -t tmpfs -o mode=0755,nosuid,nodev run "$root/run"
mount -t tmpfs -o mode=1777,nosuid,nodev tmp "$root/tmp"

# Mask every unit that could act (services, sockets, mounts, swaps, paths,
# timers) but the journal, and every generator: no tmpfiles clean-up, mount,
# swap, sysctl or binfmt unit can run. Targets and slices only group units.
units="$root/etc/systemd/system"
mkdir -p "$units" "$root/etc/systemd/system-generators"
for path in "$root"/{usr/lib,etc,usr/local/lib}/systemd/system/*; do
  name=${path##*/}
  case $name in
    '*' | *.target | *.slice | *.wants | *.requires | *.d) continue ;;
    systemd-journald.service | systemd-journald.socket) continue ;;
    systemd-journald-dev-log.socket) continue ;;
  esac
  ln -sfn /dev/null "$units/$name"
done
for path in "$root"/usr/lib/systemd/system-generators/*; do
  [ -e "$path" ] || continue
  ln -sfn /dev/null "$root/etc/systemd/system-generators/${path##*/}"
done

# Detach the machine's root: from here on only the overlay is reachable.
mkdir "$root/.oldroot"
cd "$root"
pivot_root . .oldroot
umount -l /.oldroot
rmdir /.oldroot

# container= tells systemd it is not the machine's init: it then leaves the
# clock, the kernel's settings and devices alone.
exec env -i container=brinok-ci PATH=/usr/sbin:/usr/bin:/sbin:/bin \
  /usr/lib/systemd/systemd "$@"
