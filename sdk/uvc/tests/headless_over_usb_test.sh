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
# Snapshots of the alarm every second: none may come while the camera is out.
printf '[Settings]\nAlarmTemperature=37.5\nTrackingTemperature=32.0\nAlarmEvent=1\nAlarmSavePeriod=1\n' \
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
# Waits up to SECONDS until every pattern has matched a line after line FROM; sets missing.
wait_all() { # SECONDS FROM PATTERN...
  local seconds=$1 from=$2 pattern
  shift 2
  for _ in $(seq $(( seconds * 10 ))); do
    missing=
    for pattern in "$@"; do
      tail -n +"$(( from + 1 ))" "$work/station.txt" | grep -Eq "$pattern" || { missing=$pattern; break; }
    done
    [[ -z $missing ]] && return 0
    sleep 0.1
  done
  return 1
}

echo "== a 38.2 C face: alarm and read-out, the camera pulled out and plugged in again"
: > "$work/station.txt"
# The copied library is the one both the station and the fake camera use.
LD_LIBRARY_PATH=$work/run LD_PRELOAD=$preload "$work/run/calidra-headless" --readouts --detections \
  > "$work/station.txt" 2> "$work/station.err" &
station=$!
wait_line 20 0 '^ALARM	ON$' || fail "no ALARM ON for a 38.2 C face"
wait_line 5 0 '^READOUT	38\.[123] C	' ||
  fail "read-out is not 38.2 C: $(grep READOUT "$work/station.txt" | tail -1)"
wait_line 5 0 '^SNAPSHOT	' || fail "no snapshot of the alarm"
mark=$(lines)
touch "$work/pulled"
wait_all 10 "$mark" 'Selected camera was unplugged\.' 'Device has been removed\.' '^ALARM	OFF$' ||
  fail "no line matching '$missing' within 10 s of the camera pulled out"
unplugged=$(grep -nm1 'Selected camera was unplugged\.' "$work/station.txt" | cut -d: -f1)
sleep 2 # out for two of the alarm's snapshot periods
rm -f "$work/pulled"
mark=$(lines)
if [[ -n $unplugged ]] && sed -n "$(( unplugged + 1 )),${mark}p" "$work/station.txt" | grep -q '^SNAPSHOT'; then
  fail "a snapshot after the unplug: $(sed -n "$(( unplugged + 1 )),${mark}p" "$work/station.txt" | grep -m1 '^SNAPSHOT')"
fi
wait_line 10 "$mark" 'Device has been added\.' || fail "no addition after the camera was plugged in again"
wait_line 15 "$mark" 'Camera connected: ' || fail "the camera was not opened again after it was plugged in"
wait_line 10 "$mark" '^ALARM	ON$' || fail "no ALARM ON after the camera came back"
wait_line 5 "$mark" '^DETECT	[0-9]+	.*,38\.[123],1' || fail "no alarmed detection after the camera came back"
kill -TERM "$station" 2>/dev/null
wait "$station" || fail "the station did not end cleanly"
station=

echo "== $failures failure(s)"
[[ $failures == 0 ]]
