#!/usr/bin/env bash
# Runs a command in a chroot of another Debian release, with a copy of this work tree's tracked
# files in /root/sorvel (the command's working folder) and the package index refreshed:
#   scripts/chroot.sh RELEASE COMMAND...        e.g. scripts/chroot.sh trixie scripts/run.sh
#   scripts/chroot.sh --other                   prints the release that the checks use: the
#                                               Debian release (12 or 13) that this machine is not
# The chroot (build/chroot-RELEASE) is made once with debootstrap (minbase, about a minute) from
# the machine's own Debian mirror, and kept; each run updates its packages. /proc, /sys, /dev and
# /dev/pts are mounted for the command and unmounted after it, however it ends. The files that
# SORVEL_CHROOT_IN names (separated by spaces) are copied into /root/sorvel/build/chroot-in/,
# and build/chroot-out/ starts empty. Needs root and debootstrap (scripts/deps.sh chroot).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

this_release() { sed -n 's/^VERSION_CODENAME=//p' /etc/os-release; }
other_release() {
  case "$(this_release)" in
  bookworm) echo trixie ;;
  trixie) echo bookworm ;;
  *) return 1 ;;
  esac
}

case "${1:-}" in
-h | --help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
--other)
  other_release || { echo "chroot: this machine runs neither Debian 12 nor 13 ($(this_release))" >&2; exit 1; }
  exit 0
  ;;
"" | -*) echo "usage: $0 RELEASE COMMAND... | --other" >&2; exit 2 ;;
esac
release=$1
shift
[ $# -gt 0 ] || { echo "usage: $0 RELEASE COMMAND..." >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "chroot: needs root (debootstrap and chroot)" >&2; exit 1; }
command -v debootstrap >/dev/null || { echo "chroot: debootstrap is not installed (scripts/deps.sh chroot)" >&2; exit 1; }

dir=$root/build/chroot-$release
# The machine's sources are in one file or the other (deb822 or one-line): a missing one is no
# error.
mirror=$(sed -n 's|^URIs: *\(http[^ ]*/debian\)/*$|\1|p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n 1 || true)
[ -n "$mirror" ] || mirror=$(sed -n 's|^deb \(http[^ ]*/debian\)/* .*|\1|p' /etc/apt/sources.list 2>/dev/null | head -n 1 || true)
[ -n "$mirror" ] || mirror=http://deb.debian.org/debian

if [ ! -e "$dir/.sorvel-made" ]; then
  echo "chroot: making $dir ($release, minbase, from $mirror)"
  rm -rf "$dir"
  mkdir -p "$dir"
  if ! debootstrap --variant=minbase --include=ca-certificates,git "$release" "$dir" "$mirror" \
    >"$root/build/chroot-$release.log" 2>&1; then
    tail -n 20 "$root/build/chroot-$release.log" >&2
    echo "chroot: debootstrap of $release failed (log: build/chroot-$release.log)" >&2
    exit 1
  fi
  touch "$dir/.sorvel-made"
fi

# The release's own suites, and its security updates, from the same mirror.
cat >"$dir/etc/apt/sources.list" <<EOF
deb $mirror $release main
deb $mirror $release-updates main
deb ${mirror%/debian}/debian-security $release-security main
EOF
cp /etc/resolv.conf "$dir/etc/resolv.conf" 2>/dev/null || true
# Services started by package scripts would run outside the command's lifetime: none is started.
printf '#!/bin/sh\nexit 101\n' >"$dir/usr/sbin/policy-rc.d"
chmod +x "$dir/usr/sbin/policy-rc.d"

mounted=()
unmount() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[$i]}" 2>/dev/null || true; done
}
trap unmount EXIT
for m in proc sys dev dev/pts; do
  mountpoint -q "$dir/$m" && continue
  case $m in
  proc) mount -t proc proc "$dir/proc" ;;
  sys) mount -t sysfs sys "$dir/sys" ;;
  dev) mount --bind /dev "$dir/dev" ;;
  dev/pts) mount -t devpts devpts "$dir/dev/pts" -o newinstance,ptmxmode=0666 ;;
  esac
  mounted+=("$dir/$m")
done

# The work tree's tracked files as they are now (uncommitted changes included), over the last
# copy: its build/ folder stays, so that a second run builds only what changed.
src=$dir/root/sorvel
mkdir -p "$src"
find "$src" -mindepth 1 -maxdepth 1 ! -name build -exec rm -rf {} +
git ls-files -z | while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
  tar --null -T - -cf - | tar -xf - -C "$src"
rm -rf "$src/build/chroot-in" "$src/build/chroot-out"
mkdir -p "$src/build/chroot-in" "$src/build/chroot-out"
for f in ${SORVEL_CHROOT_IN:-}; do cp -f "$f" "$src/build/chroot-in/"; done

chroot "$dir" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  LANG=C.UTF-8 TERM="${TERM:-dumb}" CI="${CI:-}" DEBIAN_FRONTEND=noninteractive \
  /bin/bash -c 'cd /root/sorvel && apt-get update -q >/dev/null 2>&1; apt-get -y -q upgrade >/dev/null 2>&1; exec "$@"' \
  chroot "$@"
