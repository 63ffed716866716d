#!/bin/sh
# Makes the Debian package from the build tree, unpacks it into a scratch root and runs the
# programs from there: the package must carry them, their desktop entry, icons and metadata, and
# kv10d's unit and configuration, the unit valid and not enabled.
# Arguments: the build tree, the cpack program.
set -eu
build=$1
cpack=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 \
  || { cat "$work/cpack.log" >&2; fail "cpack"; }
deb=$work/out/kv10_1.1.0.0_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $(basename "$deb") in: $(ls "$work/out")"

depends=$(dpkg-deb -f "$deb" Depends)
for needed in qt6-translations-l10n qt6-qpa-plugins libqt6serialport6 libqt6widgets6 libc6 libmosquitto1 libmodbus5; do
  case ", $depends" in *", $needed"*) ;; *) fail "Depends lacks $needed: $depends" ;; esac
done

root=$work/root
dpkg -x "$deb" "$root"
bin=$root/usr/bin
# Nothing from the build tree or a display may help them.
unset LD_LIBRARY_PATH DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
for program in kv10 kv10ctl kv10-sim; do
  version=$("$bin/$program" --version) || fail "$program --version"
  [ "$version" = "$program 1.1.0.0" ] || fail "$program --version printed: $version"
done
"$bin/kv10ctl" --help | grep -q -- "--device PATH" || fail "kv10ctl --help"
"$bin/kv10-sim" --help | grep -q -- "--link <path>" || fail "kv10-sim --help"

share=$root/usr/share
for size in 16 32 48 64 128 256; do
  icon=$share/icons/hicolor/${size}x$size/apps/kv10.png
  [ "$(head -c 4 "$icon" | tail -c 3)" = "PNG" ] || fail "no PNG icon $icon"
done
grep -qx "Comment=Nastavení a sledování regulátoru KORVIN 10" "$share/applications/kv10.desktop" \
  || fail "desktop entry"
grep -q "<summary xml:lang=\"cs\">Nastavení a sledování regulátoru KORVIN 10</summary>" \
  "$share/metainfo/cz.kv10.KV10.metainfo.xml" || fail "metainfo"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$share/applications/kv10.desktop" || fail "desktop-file-validate"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate-tree --no-net "$root" >"$work/appstream.log" 2>&1 \
    || { cat "$work/appstream.log" >&2; fail "appstreamcli validate-tree"; }
fi

# kv10d: the example configuration is a conffile, the unit runs the packaged program with it.
[ -x "$bin/kv10d" ] || fail "no kv10d in the package"
conf=$root/etc/kv10/kv10d.conf
unit=$root/usr/lib/systemd/system/kv10d.service
grep -q "^\[line:" "$conf" || fail "no example configuration $conf"
grep -qx "ExecStart=/usr/bin/kv10d --config /etc/kv10/kv10d.conf" "$unit" || fail "no unit $unit running kv10d"
control=$work/control
dpkg-deb -e "$deb" "$control"
grep -qx /etc/kv10/kv10d.conf "$control/conffiles" || fail "kv10d.conf is not a conffile"
# Installed disabled: no maintainer script enables or starts anything, no .wants link is shipped.
for script in preinst postinst prerm postrm; do
  if [ -f "$control/$script" ] && grep -Eq "systemctl|deb-systemd|invoke-rc.d|update-rc.d" "$control/$script"; then
    fail "$script enables or starts a service"
  fi
done
if dpkg-deb -c "$deb" | grep -E "[.]wants/|[.]requires/|/etc/systemd/"; then
  fail "the package enables a unit"
fi
# systemd-analyze needs no running systemd, only the program where ExecStart names it: a copy
# of the unit names the unpacked one. A warning of any kind fails the test.
command -v systemd-analyze >/dev/null || fail "no systemd-analyze (package systemd)"
mkdir "$work/unit"
sed "s|^ExecStart=/usr/bin/kv10d |ExecStart=$bin/kv10d |" "$unit" >"$work/unit/kv10d.service"
systemd-analyze verify "$work/unit/kv10d.service" >"$work/verify.log" 2>&1 \
  || { cat "$work/verify.log" >&2; fail "systemd-analyze verify"; }
[ ! -s "$work/verify.log" ] || { cat "$work/verify.log" >&2; fail "systemd-analyze verify warns"; }
# The hardening as systemd rates it: 1.8 of 10 when written, 2.0 at most.
systemd-analyze security --offline=yes --threshold=20 "$work/unit/kv10d.service" >"$work/security.log" 2>&1 \
  || { grep -F "✗" "$work/security.log" >&2; fail "systemd-analyze security: $(tail -1 "$work/security.log")"; }
echo "ok: $(basename "$deb"), $(du -k "$deb" | cut -f1) KiB"
