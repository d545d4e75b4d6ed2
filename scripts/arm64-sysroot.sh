#!/usr/bin/env bash
# Makes the arm64 sysroot of the linux-arm64 preset: Debian's arm64 libraries and headers of this
# machine's own release (the release its apt sources name, 12 or 13), unpacked under
# build/arm64-sysroot, with a dpkg database of its own so that dpkg-shlibdeps finds which package
# holds each library. The machine's own packages are not touched: apt runs with a private state
# (build/arm64-apt: its lists and the downloaded .deb files, kept between runs) and an empty
# package status, so it fetches each wanted package with everything it depends on.
#   scripts/arm64-sysroot.sh [SYSROOT]      (default build/arm64-sysroot)
# Made once; each later run updates the package lists (at most once a day) and unpacks again
# only when a package's version changed. Needs no root. The cross compiler and qemu come from
# `scripts/deps.sh arm64`.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(realpath -m "${1:-build/arm64-sysroot}")
state=$(realpath -m "$root/../arm64-apt")
arch=arm64
multiarch=aarch64-linux-gnu

# What the build links and its programs load: the C and C++ runtimes, SDL2 and X11, zlib, giflib,
# libpng, FFmpeg, Google Benchmark, CLI11 (headers only); and base-files, whose os-release names
# the release in the recorder package's version.
wanted=(base-files libc6-dev libstdc++6 libgcc-s1 libsdl2-dev libx11-dev libxext-dev libxrandr-dev zlib1g-dev
  libgif-dev libpng-dev libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  libbenchmark-dev libcli11-dev)

log() { echo "arm64-sysroot: $*"; }
mkdir -p "$state/lists/partial" "$state/archives/partial" "$state/dpkg"
: >"$state/dpkg/status" # nothing is installed: apt fetches every dependency
cat >"$state/apt.conf" <<CONF
APT::Architecture "$arch";
APT::Architectures { "$arch"; };
APT::Install-Recommends "false";
APT::Sandbox::User "root";
Acquire::Languages "none";
Dir::State "$state";
Dir::State::lists "$state/lists";
Dir::State::status "$state/dpkg/status";
Dir::Cache "$state";
Dir::Cache::archives "$state/archives";
Dir::Cache::pkgcache "";
Dir::Cache::srcpkgcache "";
Debug::NoLocking "true";
CONF
apt_private() { APT_CONFIG="$state/apt.conf" apt-get -q "$@"; }

# The lists once a day, or when the machine's sources changed since.
if [ -z "$(find "$state/lists" -maxdepth 1 -name '*Packages*' -mmin -1440 -print -quit)" ] ||
  [ -n "$(find /etc/apt/sources.list /etc/apt/sources.list.d -newer "$state/lists" -print -quit 2>/dev/null)" ]; then
  log "updating the $arch package lists"
  apt_private update >"$state/update.log" 2>&1 || {
    cat "$state/update.log" >&2
    log "FAILED: apt-get update for $arch"
    exit 1
  }
  touch "$state/lists"
fi

# Every package that the wanted ones need, with its version: "name version arch".
apt_private -s install "${wanted[@]}" >"$state/plan.log" 2>&1 || {
  cat "$state/plan.log" >&2
  log "FAILED: apt cannot install ${wanted[*]} for $arch from this machine's sources"
  exit 1
}
sed -n 's/^Inst \([^ ]*\) (\([^ ]*\) .*\[\([a-z0-9]\+\)\]).*/\1 \2 \3/p' "$state/plan.log" | sort >"$state/plan"
[ -s "$state/plan" ] || { log "FAILED: apt planned no packages"; exit 1; }
if [ -f "$root/.made" ] && cmp -s "$state/plan" "$root/.made"; then
  log "$root is up to date ($(wc -l <"$state/plan") packages)"
  exit 0
fi

log "downloading $(wc -l <"$state/plan") $arch packages (those not yet in $state/archives)"
apt_private install --download-only -y "${wanted[@]}" >"$state/download.log" 2>&1 || {
  cat "$state/download.log" >&2
  log "FAILED: downloading the $arch packages"
  exit 1
}

# Unpacked afresh: / holds the usr-merged links (Debian 12's libc6 still ships /lib), and the
# dpkg database (var/lib/dpkg) names each file by its path on this machine, under $root, which
# is where dpkg-shlibdeps finds the libraries.
log "unpacking into $root"
rm -rf "$root.new"
mkdir -p "$root.new/usr/lib" "$root.new/usr/bin" "$root.new/usr/sbin"
for link in lib bin sbin; do ln -s "usr/$link" "$root.new/$link"; done
admin="$root.new/var/lib/dpkg"
mkdir -p "$admin/info" "$admin/updates"
echo 1 >"$admin/info/format"
echo "$arch" >"$admin/arch"
: >"$admin/status"
while read -r name version package_arch; do
  deb="$state/archives/${name}_${version//:/%3a}_${package_arch}.deb"
  [ -f "$deb" ] || { log "FAILED: $deb was not downloaded"; exit 1; }
  rm -rf "$state/control" && dpkg-deb -e "$deb" "$state/control"
  # The package's entry: its control fields, installed.
  sed '1a Status: install ok installed' "$state/control/control" >>"$admin/status"
  echo >>"$admin/status"
  key=$name
  [ "$(sed -n 's/^Multi-Arch: //p' "$state/control/control")" = same ] && key=$name:$package_arch
  for file in shlibs symbols; do
    [ ! -f "$state/control/$file" ] || cp "$state/control/$file" "$admin/info/$key.$file"
  done
  # Its files, unpacked and listed as dpkg lists them. Debian 12's libc6 ships /lib/...: each
  # such file is listed under its /usr name too, where dpkg-shlibdeps finds it through the
  # usr-merged link.
  dpkg-deb --fsys-tarfile "$deb" | tar -xv --keep-directory-symlink -C "$root.new" |
    sed "s|^\./|/|; s|^/\$|/.|; s|\(.\)/\$|\1|" |
    awk -v root="$root" '{ print root $0 } /^\/(lib|bin|sbin)\// { print root "/usr" $0 }' \
      >"$admin/info/$key.list"
done <"$state/plan"
# The sysroot's own absolute links point into the sysroot (libc6-dev's, for one).
find "$root.new" -type l -lname '/*' | while read -r link; do
  target=$(readlink "$link")
  ln -sfn "$(realpath -m --relative-to="$(dirname "$link")" "$root.new$target")" "$link"
done
cp "$state/plan" "$root.new/.made"
rm -rf "$root"
mv "$root.new" "$root"
log "made $root: $(wc -l <"$state/plan") packages, $(du -sh "$root" | cut -f1)"
