#!/usr/bin/env bash
# The other Debian release (13 on a Debian 12 machine, 12 on a Debian 13 one), in a chroot that
# scripts/chroot.sh makes once under build/ and refreshes every run: what that release's user
# gets from `scripts/deps.sh`, the native build with its unit tests, the golden frames, the
# recorder's package for that release, and the demos' package made on this machine installed
# there by apt beside it, with sorvel2 run under xvfb-run until SIGTERM ends it (exit 0).
# The release's recorder package is left in build/packages/ beside this machine's.
#   tests/e2e/other_release_check.sh DEMOS.deb
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
demos=$(cd "$(dirname "$1")" && pwd)/${1##*/}
cd "$root"

skip() {
  echo "*** SKIPPED: the other Debian release's checks: $* ***"
  exit 0
}
release=$(scripts/chroot.sh --other 2>/dev/null) || skip "this machine runs neither Debian 12 nor 13"
[ "$(id -u)" -eq 0 ] || skip "they need root (debootstrap and chroot)"
command -v debootstrap >/dev/null || skip "debootstrap is not installed (scripts/deps.sh chroot installs it)"
[ -f "$demos" ] || { echo "FAIL: no demos package at $1" >&2; exit 1; }

start=$SECONDS
# What runs inside, in the tree's copy /root/sorvel; the demos' package is handed in.
inside=$(
  cat <<'INSIDE'
set -euo pipefail
demos=$1
scripts/deps.sh run package unit
cmake --preset default -DSORVEL_BENCH=OFF >/dev/null
cmake --build --preset default -j "$(nproc)"
ctest --preset default -j "$(nproc)" --output-on-failure >/tmp/ctest.log 2>&1 || { cat /tmp/ctest.log; exit 1; }
tail -n 3 /tmp/ctest.log
tests/e2e/recorder_crc_check.sh build/release none
scripts/package.sh deb
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/release/CMakeCache.txt)
tag=$(sed -n 's/^SORVEL_RELEASE_TAG:STRING=//p' build/release/CMakeCache.txt)
recorder=build/packages/sorvel-record_${version}+${tag}_$(dpkg --print-architecture).deb
# The demos' package made on the other release, and this release's recorder, as a user
# installs them.
apt-get install -y -q "$demos" "./$recorder" >/tmp/install.log 2>&1 ||
  { cat /tmp/install.log; echo "FAIL: apt could not install ${demos##*/} and ${recorder##*/}"; exit 1; }
echo "ok: apt installed ${demos##*/} and ${recorder##*/} on $(. /etc/os-release && echo "$PRETTY_NAME")"
for program in sorvel2 sorvel; do
  build/release/tools/sorvel-record "$program" --frames 300 --crc >/tmp/build.crc
  /usr/games/sorvel-record "$program" --frames 300 --crc >/tmp/installed.crc
  cmp -s /tmp/build.crc /tmp/installed.crc ||
    { echo "FAIL: the installed recorder's $program CRCs differ from the build's"; exit 1; }
done
echo "ok: the installed recorder prints the build's CRC lines"
# sorvel2 from the package, in a window of a virtual X server, for 3 s; SIGTERM then ends it.
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  /usr/games/sorvel2 & pid=$!
  sleep 3
  kill -0 $pid || { wait $pid; echo "FAIL: sorvel2 ended by itself, exit $?"; exit 1; }
  xwininfo -root -tree | grep -q "\"Sorvel2" || { echo "FAIL: no Sorvel2 window"; kill $pid; exit 1; }
  kill -TERM $pid
  wait $pid && echo "ok: the installed sorvel2 ran in a window under xvfb-run; SIGTERM ended it with exit 0"'
mkdir -p build/chroot-out
cp -f "$recorder" build/chroot-out/
INSIDE
)
out=build/chroot-$release/root/sorvel/build/chroot-out
if ! SORVEL_CHROOT_IN=$demos scripts/chroot.sh "$release" bash -c "$inside" inside \
  "/root/sorvel/build/chroot-in/${demos##*/}"; then
  echo "FAILED: the checks on Debian $release (chroot build/chroot-$release)" >&2
  exit 1
fi
for package in "$out"/*.deb; do
  cp -f "$package" build/packages/
  (cd build/packages && sha256sum "${package##*/}" >"${package##*/}.sha256")
  echo "ok: made build/packages/${package##*/} on Debian $release"
done
echo "the other release ($release): every check passed in $((SECONDS - start)) s"
