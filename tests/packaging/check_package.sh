#!/bin/sh
# The Debian package as a user gets it: CPack builds it from the build tree;
# it holds the programs, menu entry, icon, man pages, units and settings; its
# dependencies name the libraries; its units pass systemd's checks; and the
# vornd inside runs from a scratch root. Usage: check_package.sh BUILD_DIR
set -eu
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "$*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  fail "cpack failed: $(cat "$scratch/cpack.log")"
deb=$(ls "$scratch"/out/*.deb)
contents=$(dpkg-deb --contents "$deb")
for path in usr/bin/vorn95 usr/bin/vornd usr/bin/vorn-tracker usr/bin/vorn-proxy \
  usr/share/applications/vorn95.desktop usr/share/icons/hicolor/128x128/apps/vorn95.png \
  usr/share/man/man1/vorn95.1 usr/share/man/man1/vornd.1 usr/share/man/man1/vorn-tracker.1 \
  usr/share/man/man1/vorn-proxy.1 usr/lib/systemd/system/vornd.service \
  usr/lib/systemd/system/vorn-tracker.service usr/lib/systemd/system/vorn-proxy.service \
  etc/vorn/vornd.conf etc/vorn/servers.txt; do
  echo "$contents" | grep -q " \./$path\$" || fail "missing from the package: $path"
done
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libqt6core6 libqt6widgets6 libqt6network6; do
  case "$depends" in *"$library"*) ;; *) fail "Depends lacks $library: $depends" ;; esac
done
dpkg-deb -I "$deb" conffiles | grep -qx /etc/vorn/vornd.conf || fail "vornd.conf is no conffile"

root="$scratch/root"
dpkg-deb -x "$deb" "$root"
"$root/usr/bin/vornd" --help | grep -q '^Usage: vornd' || fail "the installed vornd --help failed"
grep -q -- '--stats-file' "$root/usr/share/man/man1/vornd.1" || fail "the man page lacks vornd's flags"
grep -q '^ExecStart=/usr/bin/vornd --server ' "$root/usr/lib/systemd/system/vornd.service" ||
  fail "vornd.service does not start the installed vornd"

# The units name /usr/bin, which holds no vorn programs on a build machine:
# systemd checks copies that name the scratch root's programs instead.
if command -v systemd-analyze >/dev/null; then
  mkdir "$scratch/units"
  for unit in "$root"/usr/lib/systemd/system/*.service; do
    sed "s|/usr/bin/|$root/usr/bin/|g" "$unit" >"$scratch/units/$(basename "$unit")"
  done
  systemd-analyze verify --man=no "$scratch"/units/*.service || fail "systemd-analyze verify failed"
fi
echo "package ok: $(basename "$deb")"
