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

# shellcheck source=headless_station_helpers.sh
source "$(dirname "$0")/headless_station_helpers.sh"
prepare_station
export FAKE_USB_CAMERA_PULLED=$work/pulled
echo '{ "uvc": { "devices": ["/dev/video0"], "discover": true } }' > "$SORVIK_CONFIG"

echo "== a 38.2 C face: alarm and read-out, the camera pulled out and plugged in again"
: > "$work/station.txt"
# The copied library is the one both the station and the fake camera use.
LD_LIBRARY_PATH=$work/run LD_PRELOAD=$preload "$work/run/calidra-headless" --readouts --detections \
  > "$work/station.txt" 2> "$work/station.err" &
station=$!
wait_line 20 0 '^ALARM	ON$' || fail "no ALARM ON for a 38.2 C face"
wait_line 5 0 '^READOUT	38\.[123] °C	' ||
  fail "read-out is not 38.2 C: $(grep READOUT "$work/station.txt" | tail -1)"
wait_line 5 0 '^SNAPSHOT	' || fail "no snapshot of the alarm"
mark=$(lines)
touch "$work/pulled"
wait_all 10 "$mark" 'Selected camera was unplugged\.' 'Device has been removed\.' '^ALARM	OFF$' ||
  fail "no line matching '$missing' within 10 s of the camera pulled out"
sleep 2 # a window in which no snapshot may come: two of the alarm's snapshot periods
rm -f "$work/pulled"
expect_camera_back "$(lines)"
kill -TERM "$station" 2>/dev/null
wait "$station" || fail "the station did not end cleanly"
station=

echo "== $failures failure(s)"
[[ $failures == 0 ]]
