# shellcheck shell=bash disable=SC2154 # work, version from common.sh
# Boots systemd as PID 1 in private namespaces on a copy-on-write view of this machine, out of
# reach of its real files. After common.sh: sandbox_start (or sandbox_station), then sandbox_run
# CMD... (as root, with a clean environment); from sandbox_start's first line on, the exit trap is
# sandbox_stop.
# Starts systemd in a cgroup of its own, its cgroup namespace's root, and waits for basic.target.
sandbox_start() {
  sandbox_marker=$(mktemp /tmp/brinok-sandbox-marker.XXXXXX) sandbox_unshare='' sandbox_init=''
  trap 'sandbox_stop $?' EXIT
  echo "written before the boot" >"$sandbox_marker"
  sandbox_cgroup=$(awk '$3 == "cgroup2" { print $2; exit }' /proc/mounts)
  [ -n "$sandbox_cgroup" ] || fail "no cgroup2 file system mounted"
  sandbox_cgroup=$(realpath -m "$sandbox_cgroup/$(sed -n 's/^0:://p' /proc/self/cgroup)/brinok.$$")
  mkdir "$sandbox_cgroup" "$work/sandbox"
  bash -c 'echo $$ >"$1/cgroup.procs" && exec "${@:2}"' _ "$sandbox_cgroup" \
    unshare --pid --fork --kill-child --mount --uts --ipc --net --cgroup \
    bash -euo pipefail -c '. .ci/sandbox.sh; sandbox_boot "$1"' _ "$work/sandbox" \
    </dev/null >"$work/systemd.log" 2>&1 &
  sandbox_unshare=$! sandbox_state=''
  poll 20 sandbox_booted || true
  [ "$sandbox_state" = running ] ||
    fail "systemd did not boot (state '$sandbox_state'): $(<"$work/systemd.log")"
}
# Until the namespaces' init has become systemd and answers, the state is unknown, not an error.
sandbox_booted() {
  sandbox_init=$(cat "/proc/$sandbox_unshare/task/"*/children 2>/dev/null | xargs) || return 1
  [ "$(cat "/proc/$sandbox_init/comm" 2>/dev/null)" = systemd ] || return 1
  sandbox_state=$(sandbox_run systemctl is-system-running 2>/dev/null || true)
  [[ $sandbox_state == running || $sandbox_state == degraded ]]
}
# Boots the sandbox and installs the .deb $1 with apt as a station does; without $1, the package
# made here. A step that .ci/run runs beside the others gets its .deb, and TERM when another step
# fails, which ends it through the exit trap.
sandbox_station() {
  local deb=${1:-}
  trap 'exit 143' TERM
  if [ -z "$deb" ]; then
    cmake --workflow --preset package >/dev/null
    deb=build/release/brinok_${version}_$(dpkg --print-architecture).deb
  fi
  sandbox_start
  # The machine's policy-rc.d keeps services from starting in container images; no station has
  # it: without it, the package starts its units as on a station.
  sandbox_run sh -c 'rm -f /usr/sbin/policy-rc.d && cat >/root/brinok.deb &&
    apt-get install -qq /root/brinok.deb >/dev/null' <"$deb"
}
# The journal in the sandbox (a step may read it otherwise); and poll once a second, as what it
# reads goes through the sandbox.
journal() { sandbox_run journalctl -o short-unix --no-pager "$@"; }
wait_for() { poll_pause=1 poll "$@"; }
sandbox_run() { nsenter --target "$sandbox_init" --mount --uts --ipc --net --pid --cgroup \
  -- env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 "$@"; }
# After a failure ($1), shows the journal's end. Kills systemd and with it every process of the
# sandbox, removes its cgroups (deepest first, a moment after their processes are gone) and $work,
# then checks that a marker put in the real /tmp before the boot is still there.
sandbox_stop() {
  [ "$1" = 0 ] || [ -z "$sandbox_init" ] || sandbox_run journalctl --no-pager -n 40 >&2 || true
  { kill -KILL "${sandbox_init:-$sandbox_unshare}"; wait "$sandbox_unshare"; } 2>/dev/null || true
  [ -z "${sandbox_cgroup:-}" ] || poll 5 find "$sandbox_cgroup" -type d -delete 2>/dev/null ||
    echo "left behind: cgroup $sandbox_cgroup" >&2
  rm -rf "$work"
  grep -qx "written before the boot" "$sandbox_marker" || fail "$sandbox_marker did not survive"
  rm "$sandbox_marker"
}

# Run by sandbox_start as PID 1 of its namespaces, whose own mounts none propagates back: the
# root an overlay of the machine's /, only read, and a tmpfs on $1 that lives as long as they do.
sandbox_boot() {
  local root=$1/root dev path
  [ "$$" -eq 1 ] || { echo "sandbox_boot: not PID 1 of a new PID namespace" >&2 && return 1; }
  mount --make-rprivate /
  mount -t tmpfs -o mode=0700 brinok-sandbox "$1"
  mkdir "$1/upper" "$1/work" "$root"
  mount -t overlay overlay -o "lowerdir=/,upperdir=$1/upper,workdir=$1/work" "$root"
  # /sys and /proc/sys read-only, a cgroup tree of its own; /dev, /run and /tmp fresh, /dev with
  # only harmless character devices, a pseudo-terminal instance of its own and the links a
  # system expects (PrivateDevices= copies /dev/ptmx into a service's own /dev).
  mount -t proc proc "$root/proc"
  mount --bind -o ro "$root/proc/sys" "$root/proc/sys"
  mount --bind -o ro /sys "$root/sys"
  mount -t cgroup2 cgroup2 "$root/sys/fs/cgroup"
  mount -t tmpfs -o mode=0755,nosuid dev "$root/dev"
  touch "$root"/dev/{null,zero,full,random,urandom,tty}
  for dev in null zero full random urandom tty; do mount --bind "/dev/$dev" "$root/dev/$dev"; done
  mount --mkdir -t tmpfs -o mode=1777,nosuid,nodev shm "$root/dev/shm"
  mount --mkdir -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts "$root/dev/pts"
  for path in ptmx:pts/ptmx fd:/proc/self/fd stdin:/proc/self/fd/0 stdout:/proc/self/fd/1 \
    stderr:/proc/self/fd/2; do ln -s "${path#*:}" "$root/dev/${path%%:*}"; done
  mount -t tmpfs -o mode=0755,nosuid,nodev run "$root/run"
  mount -t tmpfs -o mode=1777,nosuid,nodev tmp "$root/tmp"
  # Mask every unit that could act (services, sockets, mounts, swaps, paths, timers) but the
  # journal, and every generator: no tmpfiles clean-up, mount, swap, sysctl or binfmt unit runs.
  mkdir -p "$root/etc/systemd/system" "$root/etc/systemd/system-generators"
  for path in "$root"/{usr/lib,etc,usr/local/lib}/systemd/system{,-generators}/*; do
    case ${path##*/} in
      '*' | *.target | *.slice | *.wants | *.requires | *.d) ;; # they only group units
      systemd-journald.service | systemd-journald.socket | systemd-journald-dev-log.socket) ;;
      *) ln -sfn /dev/null "$root/etc/systemd/${path#"$root"/*/systemd/}" ;;
    esac
  done
  # Detach the machine's root, then start systemd: container= tells it it is not the machine's
  # init, so that it leaves the clock, the kernel's settings and devices alone.
  cd "$root" && pivot_root . mnt && umount -l /mnt || return
  exec env -i container=brinok-ci PATH=/usr/sbin:/usr/bin:/sbin:/bin \
    /usr/lib/systemd/systemd --unit=basic.target --show-status=false
}
