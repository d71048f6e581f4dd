#!/usr/bin/env bash
# The station with a USB camera: the real calidra-headless and libSorvikC.so, with a fake
# InfiRay P2 standing in for /dev/video0 (fake_usb_camera_preload, loaded with LD_PRELOAD).
#   headless_over_usb_test.sh RUNTIME_DIR PRELOAD_LIBRARY
set -uo pipefail
runtime=${1:?usage: headless_over_usb_test.sh RUNTIME_DIR PRELOAD_LIBRARY}
preload=${2:?usage: headless_over_usb_test.sh RUNTIME_DIR PRELOAD_LIBRARY}
work=$(mktemp -d /tmp/headless_over_usb.XXXXXX)
station=
cleanup() {
  [[ -n $station ]] && kill "$station" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
  grep -Ev '^(READOUT|DETECT)' "$work/station.txt" | tail -n 8 | sed 's/^/  station: /'
  sed 's/^/  stderr: /' "$work/station.err" | tail -n 4
}

mkdir -p "$work/run" "$work/config/Quro-Duzu/Calidra" "$work/runtime"
cp "$runtime/calidra-headless" "$runtime/libSorvikC.so" "$work/run/"
printf '[Settings]\nAlarmTemperature=37.5\nTrackingTemperature=32.0\nAlarmEvent=0\n' \
  > "$work/config/Quro-Duzu/Calidra/Calidra.conf"
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=offscreen
export SORVIK_CONFIG=$work/SorvikC.json FAKE_USB_CAMERA_PULLED=$work/pulled
unset SORVIK_SIM_SCENARIO
echo '{ "uvc": { "devices": ["/dev/video0"], "discover": true } }' > "$SORVIK_CONFIG"

# Waits up to SECONDS for a line matching the extended regular expression after line FROM.
wait_line() { # SECONDS FROM PATTERN
  for _ in $(seq $(( $1 * 10 ))); do
    tail -n +"$(( $2 + 1 ))" "$work/station.txt" | grep -Eq "$3" && return 0
    sleep 0.1
  done
  return 1
}
lines() { wc -l < "$work/station.txt"; }

echo "== a 38.2 C face: alarm and read-out, the camera pulled out and plugged in again"
: > "$work/station.txt"
# The copied library is the one both the station and the fake camera use.
LD_LIBRARY_PATH=$work/run LD_PRELOAD=$preload "$work/run/calidra-headless" --readouts --detections \
  > "$work/station.txt" 2> "$work/station.err" &
station=$!
wait_line 20 0 '^ALARM	ON$' || fail "no ALARM ON for a 38.2 C face"
wait_line 5 0 '^READOUT	38\.[123] C	' ||
  fail "read-out is not 38.2 C: $(grep READOUT "$work/station.txt" | tail -1)"
mark=$(lines)
touch "$work/pulled"
wait_line 10 "$mark" 'Selected camera was unplugged\.' || fail "no unplug after the camera was pulled out"
wait_line 5 "$mark" 'Device has been removed\.' || fail "no removal after the camera was pulled out"
rm -f "$work/pulled"
mark=$(lines)
wait_line 10 "$mark" 'Device has been added\.' || fail "no addition after the camera was plugged in again"
wait_line 15 "$mark" '^DETECT	[0-9]+	.*,38\.[123],1' || fail "no alarmed detection after the camera came back"
kill -TERM "$station" 2>/dev/null
wait "$station" || fail "the station did not end cleanly"
station=

echo "== $failures failure(s)"
[[ $failures == 0 ]]
