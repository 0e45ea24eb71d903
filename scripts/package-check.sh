#!/bin/sh
# Builds the Debian package from the dev build and checks it as a user's
# machine would see it: its contents, its metadata files, and its programs
# run from a scratch root (unpacked with dpkg -x, nothing installed).
# Expects a configured and built dev preset (scripts/test.sh does that).
set -eu
cd "$(dirname "$0")/.."
src="$(pwd)"
build="$src/build/dev"

fail() {
    echo "package-check: $*" >&2
    exit 1
}

[ -f "$build/CPackConfig.cmake" ] || fail "no dev build in $build (configure the dev preset first)"
cmake --build --preset dev

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT INT TERM

echo "== package"
rm -f "$build"/package/tamek_*.deb
(cd "$build" && cpack -G DEB -B "$build/package" >"$scratch/cpack.log" 2>&1) ||
    { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
set -- "$build"/package/tamek_*.deb
[ -f "$1" ] || fail "cpack wrote no tamek_*.deb"
deb="$1"
echo "package-check: $(basename "$deb") $(du -h "$deb" | cut -f1)"

dpkg-deb --contents "$deb" >"$scratch/contents"
for path in \
    ./usr/share/applications/org.tamek.Tamek.desktop \
    ./usr/share/metainfo/org.tamek.Tamek.metainfo.xml \
    ./usr/share/icons/hicolor/scalable/apps/org.tamek.Tamek.svg \
    ./usr/share/icons/hicolor/48x48/apps/org.tamek.Tamek.png \
    ./usr/share/icons/hicolor/256x256/apps/org.tamek.Tamek.png \
    ./usr/libexec/tamek/tamek-erase-card \
    ./usr/share/polkit-1/actions/org.tamek.Tamek.erase-card.policy; do
    grep -q " $path\$" "$scratch/contents" || fail "package lacks $path"
done
# Every program the build makes, with its man page (the list is the build's own).
programs="$(cat "$build/packaging/programs.txt")"
for program in tamek tamek-telemetry tamek-config tamek-make-demo; do
    echo "$programs" | grep -qx "$program" || fail "the build does not install $program"
done
for program in $programs; do
    grep -q " ./usr/bin/$program\$" "$scratch/contents" || fail "package lacks ./usr/bin/$program"
    grep -q " ./usr/share/man/man1/$program.1.gz\$" "$scratch/contents" || fail "package lacks the man page of $program"
done

# Dependencies come from the linked libraries, plus the modules loaded at run time.
depends="$(dpkg-deb -f "$deb" Depends)"
for dep in libqt6widgets6 libvlc5 libc6 vlc-plugin-base qt6-qpa-plugins libqt6webenginecore6-bin; do
    echo "$depends" | grep -q "$dep" || fail "Depends lacks $dep: $depends"
done
version="$(dpkg-deb -f "$deb" Version)"

# Debian's own checks. An override belongs in the package
# (packaging/debian/lintian-overrides) with its reason.
echo "== lintian"
lintian --fail-on error,warning --tag-display-limit 0 "$deb" >"$scratch/lintian.log" 2>&1 ||
    { cat "$scratch/lintian.log" >&2; fail "lintian found errors or warnings"; }
grep -v "^running with root privileges" "$scratch/lintian.log" || true
echo "package-check: lintian: no errors or warnings ($(dpkg-deb --fsys-tarfile "$deb" |
    tar -xO ./usr/share/lintian/overrides/tamek | grep -c '^tamek:') overridden, see packaging/debian/lintian-overrides)"
changelog_version="$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/tamek/changelog.Debian.gz | gzip -dc |
    sed -n '1s/^tamek (\([^)]*\)).*/\1/p')"
[ "$changelog_version" = "$version" ] ||
    fail "the changelog's latest entry is $changelog_version, the package $version (packaging/debian/changelog)"

echo "== unpacked into a scratch root"
root="$scratch/root"
dpkg -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/org.tamek.Tamek.desktop" || fail "desktop entry invalid"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.tamek.Tamek.metainfo.xml" >"$scratch/as.log" 2>&1 ||
    { cat "$scratch/as.log" >&2; fail "metainfo invalid"; }
exec_program="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$root/usr/share/applications/org.tamek.Tamek.desktop")"
[ -x "$root/usr/bin/$exec_program" ] || fail "the desktop entry runs '$exec_program', which the package lacks"
for page in "$root"/usr/share/man/man1/*.1.gz; do
    warnings="$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || true)"
    [ -z "$warnings" ] || fail "man page $(basename "$page"): $warnings"
done

# Nothing of the source or build tree may be compiled into what is installed.
if grep -l -F -e "$src/" "$root"/usr/bin/* >/dev/null 2>&1; then
    fail "installed programs refer to the source tree: $(grep -l -F -e "$src/" "$root"/usr/bin/* | tr '\n' ' ')"
fi

shown="$("$root/usr/bin/tamek" --version)"
echo "package-check: tamek --version: $shown"
# The program knows the upstream version; the package adds its revision.
echo "$shown" | grep -q "${version%-*}" || fail "tamek --version does not say ${version%-*}"
env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/tamek" --help | grep -q -- "--play" || fail "tamek --help"

"$root/usr/bin/tamek-make-demo" "$scratch/demo" >/dev/null || fail "installed tamek-make-demo failed"
set -- $(find "$scratch/demo" -name '*_F.avi' | sort)
[ $# -gt 0 ] || fail "the demo card has no front recordings"
"$root/usr/bin/tamek-telemetry" --csv "$1" >"$scratch/fixes.csv" || fail "installed tamek-telemetry failed on $1"
[ "$(wc -l <"$scratch/fixes.csv")" -gt 10 ] || fail "installed tamek-telemetry printed too few fixes"
"$root/usr/bin/tamek-config" default "$scratch/config.bin" || fail "installed tamek-config default failed"
"$root/usr/bin/tamek-config" set "$scratch/config.bin" aud_output_vol=3 || fail "installed tamek-config set failed"
"$root/usr/bin/tamek-config" show "$scratch/config.bin" >"$scratch/config.json" || fail "installed tamek-config show failed"
grep -q '"aud_output_vol": 3,' "$scratch/config.json" && grep -q '"checksum_ok": true' "$scratch/config.json" ||
    fail "installed tamek-config did not change and seal the record"
# An OBD log of one record: count 1, eight unread header bytes, 68 record bytes.
{ printf '\001\000\000\000\000\000\000\000\000\000\000\000'; head -c 68 /dev/zero; } >"$scratch/tamek_000.obd"
"$root/usr/bin/tamek-log" "$scratch/tamek_000.obd" >"$scratch/obd.csv" || fail "installed tamek-log failed"
[ "$(wc -l <"$scratch/obd.csv")" -eq 2 ] && grep -q '^1,0,1900/00/00,' "$scratch/obd.csv" ||
    fail "installed tamek-log printed the wrong CSV"

# The viewer from the scratch root, on the demo card, with a fresh home: it
# must find its strings and pages in itself, and keep running.
mkdir -p "$scratch/home" "$scratch/runtime"
chmod 700 "$scratch/runtime"
status=0
env -u TAMEK_DEMO_DIR HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/runtime" XDG_CONFIG_HOME="$scratch/home/.config" \
    QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 QT_LOGGING_RULES="qt.webenginecontext.info=false" \
    timeout 8 "$root/usr/bin/tamek" --play "$scratch/demo" >"$scratch/viewer.out" 2>"$scratch/viewer.err" || status=$?
[ "$status" -eq 124 ] || { cat "$scratch/viewer.err" >&2; fail "installed viewer exited early with status $status"; }
if grep -E "string table missing|no text for string key|Uncaught" "$scratch/viewer.err"; then
    fail "installed viewer lacks resources"
fi
[ "$(grep -c "default sound output cannot be opened" "$scratch/viewer.err" || true)" -le 1 ] ||
    fail "the sound fallback was reported more than once"
if grep -q "ALSA lib" "$scratch/viewer.err"; then
    fail "the installed viewer printed ALSA errors"
fi
echo "package-check: ok"
