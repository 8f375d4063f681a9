# shellcheck shell=bash
# Boots systemd as PID 1 in private namespaces on a copy-on-write view of
# this machine (boot-systemd.sh), runs commands in it and tears it down.
# Source it after .ci/common.sh, in a bash script run as root:
#   sandbox_start; sandbox_run systemctl ...; sandbox_stop

# Starts systemd and waits until it has booted basic.target.
sandbox_start() {
  local cgroup2
  : "${work:?set work to a scratch directory}"
  sandbox_marker=$(mktemp /tmp/brinok-sandbox-marker.XXXXXX)
  echo "written before booting systemd" >"$sandbox_marker"
  # A cgroup of its own, so that systemd manages only that part of the tree
  # (it is the root of the sandbox's cgroup namespace).
  cgroup2=$(awk '$3 == "cgroup2" { print $2; exit }' /proc/mounts)
  [ -n "$cgroup2" ] || fail "no cgroup2 file system mounted"
  sandbox_cgroup="$cgroup2$(sed -n 's/^0:://p' /proc/self/cgroup)"
  sandbox_cgroup="${sandbox_cgroup%/}/brinok-sandbox.$$"
  mkdir "$sandbox_cgroup"
  sandbox_scratch=$(mktemp -d /tmp/brinok-sandbox.XXXXXX)
  bash -c 'echo $$ >"$1/cgroup.procs" && exec "${@:2}"' _ "$sandbox_cgroup" \
    unshare --pid --fork --kill-child --mount --uts --ipc --net --cgroup \
    bash .ci/sandbox/boot-systemd.sh "$sandbox_scratch" --unit=basic.target \
    --show-status=false </dev/null >"$work/systemd.log" 2>&1 &
  sandbox_unshare=$!
  sandbox_init=
  poll 10 sandbox_found_init ||
    { cat "$work/systemd.log" >&2; fail "the sandbox did not start"; }
  poll 10 sandbox_booted || true
  [ "$sandbox_state" = running ] || {
    cat "$work/systemd.log" >&2
    sandbox_run systemctl --failed --no-pager >&2 || true
    fail "systemd did not boot: state '$sandbox_state'"
  }
}
# Until systemd itself answers, the state is unknown rather than an error.
sandbox_booted() {
  sandbox_state=$(sandbox_run systemctl is-system-running 2>/dev/null || true)
  [[ $sandbox_state == running || $sandbox_state == degraded ]]
}
sandbox_found_init() {
  sandbox_init=$(cat "/proc/$sandbox_unshare/task/$sandbox_unshare/children" \
    2>/dev/null || true)
  sandbox_init=${sandbox_init%% *}
  [ -n "$sandbox_init" ]
}

# Runs a command inside the sandbox, as root, with a clean environment.
sandbox_run() {
  nsenter --target "$sandbox_init" --mount --uts --ipc --net --pid --cgroup \
    -- env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 "$@"
}

# Kills systemd and with it every process of the sandbox, removes its cgroup
# and checks that a marker put in the real /tmp before the boot is still
# there. Safe to call twice.
sandbox_stop() {
  if [ -n "${sandbox_unshare:-}" ]; then
    [ -z "${sandbox_init:-}" ] || kill -KILL "$sandbox_init" 2>/dev/null || true
    wait "$sandbox_unshare" 2>/dev/null || true
    sandbox_unshare=
  fi
  # The sandbox's processes are gone once its init is; their cgroups can be
  # removed a moment later, deepest first.
  if [ -n "${sandbox_cgroup:-}" ]; then
    poll 5 sandbox_removed_cgroup ||
      echo "left behind: cgroup $sandbox_cgroup" >&2
    sandbox_cgroup=
  fi
  [ -z "${sandbox_scratch:-}" ] || rmdir "$sandbox_scratch"
  sandbox_scratch=
  [ -n "${sandbox_marker:-}" ] || return 0
  [ "$(cat "$sandbox_marker" 2>/dev/null)" = "written before booting systemd" ] || {
    echo "FAIL: the marker $sandbox_marker in /tmp did not survive" >&2
    return 1
  }
  rm -f "$sandbox_marker"
  sandbox_marker=
}
sandbox_removed_cgroup() {
  find "$sandbox_cgroup" -depth -type d -exec rmdir {} + 2>/dev/null || true
  [ ! -d "$sandbox_cgroup" ]
}
