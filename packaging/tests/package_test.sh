#!/usr/bin/env bash
# package_test.sh BUILD: makes the Debian package from the build tree and checks it as
# Debian, a desktop and a service manager would; then runs the station from the package's files
# unpacked under a path with a space in it.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() {
  echo "FAIL: $*" >&2
  status=1
}
step() { echo "== $* ($SECONDS s)"; }

for tool in cpack dpkg-deb lintian shellcheck desktop-file-validate appstreamcli systemd-analyze man; do
  command -v "$tool" >/dev/null || {
    echo "FAIL: $tool is missing (scripts/install-deps installs it)" >&2
    exit 1
  }
done

step "package"
if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  exit 1
fi
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
deb="$work/out/calidra_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || {
  echo "FAIL: no $(basename "$deb"); made: $(ls "$work/out")" >&2
  exit 1
}
# One line a file: permissions, path without ./, and the target of a link.
dpkg-deb -c "$deb" | awk '{ line = $1 " " substr($6, 3); if ($7 == "->") line = line " -> " $8; print line }' \
  >"$work/contents"

step "file list"
# What the package must hold. Programs and files that arrive later go into this list too.
expected=(
  opt/calidra/Calidra
  opt/calidra/calidra-headless
  opt/calidra/libSorvikC.so
  opt/calidra/SorvikC.json.example
  opt/calidra/camera-probe
  opt/calidra/thermal-gige-camera
  opt/calidra/Zonara/Zonara
  opt/calidra/Zonara/lang/lang_ko.qm
  opt/calidra/Vantrel/VantrelServer
  opt/calidra/desk/index.html
  opt/calidra/desk/desk.js
  opt/calidra/desk/mqtt.min.js
  opt/calidra/mosquitto-desk.conf.example
  opt/calidra/alarm1.wav
  opt/calidra/alarm2.wav
  opt/calidra/pictures/alarm_animation.png
  opt/calidra/pictures/pane_banner.png
  opt/calidra/pictures/alarm_animation_ko.png
  opt/calidra/pictures/pane_banner_ko.png
  opt/calidra/translations/browser_ko.qm
  opt/calidra/translations/liveview_ko.qm
  opt/calidra/translations/shell_ko.qm
  opt/calidra/ThermalAlarm
  usr/bin/calidra
  usr/bin/calidra-headless
  usr/share/applications/com.quroduzu.Calidra.desktop
  usr/share/icons/hicolor/48x48/apps/calidra.png
  usr/share/icons/hicolor/128x128/apps/calidra.png
  usr/share/metainfo/com.quroduzu.Calidra.metainfo.xml
  lib/systemd/system/calidra-headless.service
  usr/share/man/man1/calidra.1.gz
  usr/share/man/man1/calidra-headless.1.gz
  usr/share/doc/calidra/copyright
  usr/share/doc/calidra/changelog.gz
)
for path in "${expected[@]}"; do
  awk -v path="$path" '$2 == path || $2 == path "/" { found = 1 } END { exit !found }' "$work/contents" ||
    fail "the package lacks $path"
done
# Whatever a build lays out in its runnable folder, the package carries, except what the
# station writes at run time.
while IFS= read -r path; do
  grep -q " opt/calidra/$path\$" "$work/contents" || fail "build/bin/$path is not in the package (no install rule?)"
done < <(cd "$build/bin" && find . \( -path ./ThermalAlarm -o -name 'maskinfo.cfg*' -o -name 'snapshot.jpg*' \
  -o -name SorvikC.json \) -prune -o \( -type f -o -type l \) -print | sed 's|^\./||')
awk '$1 !~ /^l/ && substr($1, 9, 1) == "w" { print "FAIL: writable by everybody: " $2; bad = 1 } END { exit bad }' \
  "$work/contents" >&2 || status=1
grep -q '^l.* opt/calidra/ThermalAlarm -> /var/opt/calidra/ThermalAlarm$' "$work/contents" ||
  fail "opt/calidra/ThermalAlarm is not the link to /var/opt/calidra/ThermalAlarm"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libqt5core5a libopencv-core libturbojpeg0 libaravis-0.8-0 libgstrtspserver-1.0-0 \
  gstreamer1.0-plugins-ugly adduser libqt5sql5-sqlite libmosquitto1 libsoup-3.0-0 libopencv-video libqt5charts5 \
  qttranslations5-l10n; do
  [[ $depends == *"$library"* ]] || fail "Depends lacks $library: $depends"
done

step "lintian"
lintian --fail-on error --info "$deb" >"$work/lintian.log" 2>&1 || {
  fail "lintian reports errors"
}
grep -E '^[EW]:' "$work/lintian.log" || true

step "maintainer scripts, desktop entry, metainfo, unit"
dpkg-deb -e "$deb" "$work/control"
shellcheck -s sh "$work/control/postinst" "$work/control/prerm" "$work/control/postrm" || fail "shellcheck"
root="$work/unpacked root"
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/com.quroduzu.Calidra.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/com.quroduzu.Calidra.metainfo.xml" >"$work/appstream.log" 2>&1 ||
  {
    cat "$work/appstream.log" >&2
    fail "appstreamcli validate"
  }
# Verified against the unpacked program, which the unit names by its installed path.
unit="$work/calidra-headless.service"
sed "s|^ExecStart=/opt/calidra/\(.*\)$|ExecStart=\"$root/opt/calidra/\1\"|" \
  "$root/lib/systemd/system/calidra-headless.service" >"$unit"
MANPATH="$root/usr/share/man" systemd-analyze verify "$unit" || fail "systemd-analyze verify"
grep -q '^User=calidra$' "$unit" || fail "the unit does not run as calidra"
grep -q '^Restart=on-failure$' "$unit" || fail "the unit is not restarted after a failure"

step "the unpacked station"
for launcher in calidra calidra-headless; do
  target=$(sed -n 's/^exec "\([^"]*\)".*/\1/p' "$root/usr/bin/$launcher")
  [ -x "$root$target" ] || fail "/usr/bin/$launcher starts $target, which the package lacks"
done
# ldd's output is taken whole before it is searched: with pipefail, a grep -q that stops reading
# early can fail the pipeline through ldd's broken pipe.
while IFS= read -r program; do
  libraries=$(ldd "$program")
  if grep -q 'not found' <<<"$libraries"; then
    fail "${program#"$root"} misses libraries: $(grep 'not found' <<<"$libraries" | tr -d '\t')"
  fi
done < <(find "$root/opt/calidra" -type f -perm -u+x)
libraries=$(ldd "$root/opt/calidra/calidra-headless")
grep -qF "$root/opt/calidra/libSorvikC.so" <<<"$libraries" ||
  fail "calidra-headless does not take the camera library beside it"

mkdir -p "$work/config" "$work/runtime"
chmod 700 "$work/runtime"
cat >"$work/scene.json" <<'EOF'
{ "cameras": [ { "people": [ { "enter": 0.2, "leave": 60, "temperature": 38.2,
  "from": [0.5, 0.55], "to": [0.5, 0.55], "height": 0.6 } ] } ] }
EOF
run_status=0
env -u SORVIK_CONFIG -u LD_LIBRARY_PATH XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" \
  SORVIK_SIM_SCENARIO="$work/scene.json" timeout 30 "$root/opt/calidra/calidra-headless" --seconds 3 --readouts \
  >"$work/lines" 2>"$work/errors" || run_status=$?
cat "$work/lines"
[ "$run_status" -eq 0 ] || fail "calidra-headless exited with $run_status: $(cat "$work/errors")"
grep -q $'^ALARM\tON$' "$work/lines" || fail "no ALARM ON for a 38.2 °C person"
[ "$(grep -c $'^READOUT\t' "$work/lines")" -ge 3 ] || fail "fewer than three READOUT lines in 3 s"

step "done"
exit $status
