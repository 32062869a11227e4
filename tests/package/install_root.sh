#!/usr/bin/env bash
# install_root.sh DEB: installs the package with dpkg into a throw-away root and takes it through
# an operator's life with it: install, settings, start, GO mode, an upgrade (the same package
# again: dpkg runs the upgrade scripts), remove and purge.
#
# The throw-away root is an overlay of this machine's root file system (so the package's
# dependencies are those this machine has installed), with its own /tmp and /run, in a private
# mount namespace: nothing the test does reaches the machine, and everything dpkg and the
# package write lands in the overlay's upper folder, where the leftovers of remove and purge
# are read. No systemd runs in the root: the service runs under the built-in supervisor.
# Exit code 0 passed, 1 failed, 77 skipped (needs root and overlay mounts).
set -euo pipefail

fail() { echo "FAIL: $*" >&2; exit 1; }
skip() { echo "SKIP: $*"; exit 77; }

if [ "${1:-}" != --inside ]; then
  deb=$(readlink -f "$1")
  [ "$(id -u)" = 0 ] || skip "needs root for dpkg, mount and chroot"
  command -v unshare >/dev/null || skip "unshare is missing"
  work=$(mktemp -d /var/tmp/wdx-package-root.XXXXXX)
  trap 'rm -rf "$work"' EXIT
  mkdir "$work/upper" "$work/overlay-work" "$work/root"
  if ! unshare --mount --propagation private sh -c \
    "mount -t overlay overlay -o lowerdir=/,upperdir=$work/upper,workdir=$work/overlay-work $work/root" \
    2>/dev/null; then
    skip "this machine does not allow overlay mounts in a mount namespace"
  fi
  rm -rf "$work/upper" "$work/overlay-work" && mkdir "$work/upper" "$work/overlay-work"
  unshare --mount --propagation private "$0" --inside "$deb" "$work"
  exit
fi

deb=$2 work=$3 root=$3/root
mount -t overlay overlay -o "lowerdir=/,upperdir=$work/upper,workdir=$work/overlay-work" "$root"
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount -t tmpfs tmpfs "$root/tmp"
mount -t tmpfs tmpfs "$root/run"
mkdir -p "$root/run/lock" "$root/tmp/package"
# A machine without Wardenix, whatever this one has: what is here is hidden (deleted in the
# overlay), and those deletions are not leftovers.
readonly fresh_paths=" var/lib/wardenix etc/wardenix usr/lib/wardenix usr/bin/wardenix "
for path in $fresh_paths; do rm -rf "${root:?}/$path"; done
cp "$deb" "$root/tmp/package/"
pkg=/tmp/package/$(basename "$deb")

# Processes left running in the root (a detached supervisor and its service).
root_processes() {
  local p
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && echo "${p#/proc/} $(tr '\0' ' ' <"$p/cmdline" 2>/dev/null)"
  done
  return 0
}
cleanup() {
  root_processes | while read -r pid _; do kill -9 "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

# A command in the root, with a clean environment (as dpkg would be run by an operator).
in_root() {
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"
}
# What the package left in the root: new files, links and folders, and deletions, outside
# dpkg's own records and caches.
leftovers() {
  local path
  (cd "$work/upper" && find . -mindepth 1 \( -path ./var/lib/dpkg -o -path ./var/log \
    -o -path ./var/cache/man -o -path ./var/cache/debconf \) -prune -o -print) |
    while read -r path; do
      path=${path#./}
      [ -c "$work/upper/$path" ] && [[ "$fresh_paths" == *" $path "* ]] && continue
      # A folder of this machine, copied up because something was written below it.
      if [ -d "$work/upper/$path" ] && [ ! -L "$work/upper/$path" ] && [ -d "/$path" ]; then continue; fi
      echo "$path"
    done
  (cd "$root/run" && find . -mindepth 1 ! -path ./lock) | sed 's|^\./|run/|'
}
expect_leftovers() {  # $1: a pattern every leftover must match ("" = none may be left)
  local found
  found=$(leftovers | sort)
  if [ -z "$1" ]; then
    [ -z "$found" ] || fail "left behind after $2: $found"
  else
    found=$(echo "$found" | grep -Ev "$1" || true)
    [ -z "$found" ] || fail "left behind after $2, outside what purge deletes: $found"
  fi
}
wait_for() {  # $1 seconds, then the command that must succeed
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.5
  done
}
go_mode_on() { [ "$(in_root wardenix command 1005 2>/dev/null)" = -1 ]; }  # -1: true
service_runs() { in_root wardenix service state >/dev/null 2>&1; }

echo "== install"
in_root dpkg -i "$pkg" || fail "dpkg -i"
status=$(in_root dpkg-query -W -f='${Status}' wardenix) || fail "dpkg-query"
[ "$status" = "install ok installed" ] || fail "package status: $status"
[ "$(stat -c %a "$root/var/lib/wardenix")" = 700 ] || fail "/var/lib/wardenix is not mode 700"
for name in webreset Wardenix.ini; do
  [ "$(readlink "$root/var/lib/wardenix/$name")" = "/etc/wardenix/$name" ] || fail "$name is not linked to /etc/wardenix"
done
for name in UtRpt.sh grammer1.cfg Wardenix.htm; do
  [ "$(readlink "$root/var/lib/wardenix/$name")" = "/usr/lib/wardenix/$name" ] || fail "$name is not linked to /usr/lib/wardenix"
done
grep -q "/usr/lib/wardenix/wdxsvc" "$root/var/lib/wardenix/registry" || fail "the service's class is not registered"
grep -q "/usr/lib/wardenix/Perfwatch.so" "$root/var/lib/wardenix/registry" || fail "Perfwatch.so is not registered"
# Registered, but not started: the required settings are missing.
state=$(in_root wardenix service state) && fail "the service runs without its required settings"
[ "$state" = "The service WDXSVC is stopped." ] || fail "service state: $state"

echo "== settings, start, GO mode"
for setting in "AdminId operator" "Password secret" "MachineName package-test"; do
  # shellcheck disable=SC2086  # a key and its value
  in_root wardenix settings set $setting >/dev/null || fail "settings set $setting"
done
in_root wardenix service start || fail "service start"
state=$(in_root wardenix command 1004) || fail "command 1004"
[[ "$state" =~ ^(999|100[0-6])$ ]] || fail "command 1004 answered $state"
go_out=$(in_root wardenix go) || fail "wardenix go: $go_out"
go_mode_on || fail "GO mode is not on after: $go_out"
report=$(in_root wardenix report) || fail "wardenix report: $report"
[ -s "$root/var/lib/wardenix/UptimeReport.html" ] || fail "no uptime report: $report"
echo "# the operator's line" >>"$root/etc/wardenix/webreset"

echo "== upgrade (the same package again)"
in_root dpkg -i "$pkg" || fail "dpkg -i over the installed package"
wait_for 30 service_runs || fail "the service was not started again"
wait_for 60 go_mode_on || fail "GO mode was not resumed"
grep -qx "# the operator's line" "$root/etc/wardenix/webreset" || fail "the edited conffile was replaced"
[ "$(in_root wardenix settings get AdminId)" = operator ] || fail "the settings were lost"
[ ! -e "$root/var/lib/wardenix/.upgrade-service-state" ] || fail "the upgrade's note was left"

echo "== remove"
in_root dpkg -r wardenix || fail "dpkg -r"
running=$(root_processes)
[ -z "$running" ] || fail "still running after remove: $running"
[ ! -e "$root/usr/bin/wardenix" ] && [ ! -e "$root/usr/lib/wardenix" ] || fail "programs left after remove"
grep -q "/usr/lib/wardenix/wdxsvc" "$root/var/lib/wardenix/registry" && fail "still registered after remove"
expect_leftovers '^(etc/wardenix|var/lib/wardenix|run/lock/wardenix)(/|$)' remove

echo "== purge"
in_root dpkg -P wardenix || fail "dpkg -P"
expect_leftovers "" purge
echo "The package installs, upgrades, removes and purges cleanly."
