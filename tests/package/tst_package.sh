#!/bin/sh
# Makes the Debian package from the build tree, unpacks it into a scratch root and runs the
# programs from there: the package must carry them, their desktop entry, icons and metadata.
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
for needed in qt6-translations-l10n qt6-qpa-plugins libqt6serialport6 libqt6widgets6 libc6; do
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
echo "ok: $(basename "$deb"), $(du -k "$deb" | cut -f1) KiB"
