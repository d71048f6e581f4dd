#!/usr/bin/env bash
# The station over GigE Vision: the real calidra-headless and libSorvikC.so reach the thermal
# test camera on 127.0.0.1 by unicast. Run through sdk/tests/in-own-network, so that the
# cameras live in a network namespace of the test's own where the machine allows it.
#   headless_over_gige_test.sh RUNTIME_DIR
set -uo pipefail
runtime=${1:?usage: headless_over_gige_test.sh RUNTIME_DIR}
work=$(mktemp -d /tmp/headless_over_gige.XXXXXX)
camera=
station=
cleanup() {
  [[ -n $station ]] && kill "$station" 2>/dev/null
  [[ -n $camera ]] && kill "$camera" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
  grep -Ev '^(READOUT|DETECT)' "$work/station.txt" | tail -n 8 | sed 's/^/  station: /'
}

# shellcheck source=../../../sdk/uvc/tests/headless_station_helpers.sh
source "$(dirname "$0")/../../../sdk/uvc/tests/headless_station_helpers.sh"
prepare_station
cat > "$SORVIK_CONFIG" <<'JSON'
{ "genicam": { "addresses": ["127.0.0.1"], "discover": false,
    "cameras": [ { "match": { "vendor": "Calidra" },
                   "features": [ ["PixelFormat", "Mono16"], ["IRFormat", "TemperatureLinear10mK"] ],
                   "kelvinPerCount": 0.01, "nucCommand": "NUCAction" } ] } }
JSON

scene() { # MODEL: a person at 38.2 degrees standing in view
  cat > "$work/scene.json" <<JSON
{ "cameras": [ { "width": 384, "height": 288, "fps": 30, "model": "$1",
  "people": [ { "enter": 0, "leave": 100000, "temperature": 38.2, "from": [0.5, 0.55], "to": [0.5, 0.55] } ] } ] }
JSON
}
control_port_bound() { grep -q '0100007F:0F74' /proc/net/udp; }
start_camera() { # OPTIONS...
  "$runtime/thermal-gige-camera" --scenario "$work/scene.json" "$@" >> "$work/camera.txt" 2>&1 &
  camera=$!
  for _ in $(seq 100); do control_port_bound && return 0; sleep 0.1; done
  fail "the test camera did not start: $(cat "$work/camera.txt")"
  return 1
}
stop_camera() { # SIGNAL
  kill "-$1" "$camera" 2>/dev/null; wait "$camera" 2>/dev/null; camera=
  for _ in $(seq 50); do control_port_bound || return 0; sleep 0.1; done
}
start_station() {
  : > "$work/station.txt"
  "$work/run/calidra-headless" --readouts --detections > "$work/station.txt" 2> "$work/station.err" &
  station=$!
}
stop_station() { kill -TERM "$station" 2>/dev/null; wait "$station"; local status=$?; station=; return $status; }
readout_38_2='^READOUT	38\.[123] C	'

echo "== format 110: alarm and read-out, the camera dies and comes back"
scene KVX-384TRA
start_camera || exit 1
start_station
wait_line 20 0 '^ALARM	ON$' || fail "no ALARM ON for a 38.2 C person (format 110)"
wait_line 5 0 "$readout_38_2" || fail "read-out is not 38.2 C (format 110): $(grep READOUT "$work/station.txt" | tail -1)"
wait_line 5 0 '^SNAPSHOT	' || fail "no snapshot of the alarm"
mark=$(lines)
echo "killing the camera at $(date +%T.%N)"
stop_camera KILL
wait_all 10 "$mark" 'Selected camera was unplugged\.' 'Device has been removed\.' '^ALARM	OFF$' ||
  fail "no line matching '$missing' within 10 s of the camera's death"
sleep 2 # gone for two of the alarm's snapshot periods
start_camera || exit 1
expect_camera_back "$(lines)"
stop_station || fail "the station did not end cleanly"
stop_camera TERM

echo "== format 104 with 2 % of the packets lost"
scene KVX-340TRA
start_camera --lost-ratio 0.02 || exit 1
start_station
wait_line 30 0 '^ALARM	ON$' || fail "no ALARM ON for a 38.2 C person (format 104, packets lost)"
wait_line 5 0 "$readout_38_2" || fail "read-out is not 38.2 C (format 104): $(grep READOUT "$work/station.txt" | tail -1)"
# Every detection of a whole frame is the person at 38.2 C; a torn frame would show other regions.
others=$(grep '^DETECT' "$work/station.txt" | cut -f3 | tr ';' '\n' | grep -v '^$' | grep -Ev ',38\.[123],1$' || true)
if [ -n "$others" ]; then
  fail "a detection other than the person: $(grep '^DETECT' "$work/station.txt" | grep -Ev ',38\.[123],1' | head -1)"
fi
stop_station || fail "the station did not end cleanly with packets lost"
stop_camera TERM

echo "== a GenICam device without a profile is listed and never opened"
if command -v arv-fake-gv-camera-0.8 > /dev/null; then
  arv-fake-gv-camera-0.8 -i 127.0.0.1 > "$work/fake.txt" 2>&1 &
  camera=$!
  for _ in $(seq 100); do control_port_bound && break; sleep 0.1; done
  start_station
  wait_line 10 0 'Device has been added\.' || fail "Aravis's fake camera was not listed"
  sleep 7 # longer than the station's 5 s connection round
  grep -Eq 'svkOpen|Camera open error|^DETECT|^ALARM' "$work/station.txt" &&
    fail "the station tried to use a camera without profile: $(grep -E 'svkOpen|open error|^DETECT' "$work/station.txt" | head -1)"
  stop_station || fail "the station did not end cleanly"

  echo "== with a profile it is a thermal camera; CameraIdentityPrefixes lets the station open its serial"
  cp "$SORVIK_CONFIG" "$work/thermal-profile.json"
  cat > "$SORVIK_CONFIG" <<'JSON'
{ "genicam": { "addresses": ["127.0.0.1"], "discover": false,
    "cameras": [ { "match": { "vendor": "Aravis" }, "features": [ ["PixelFormat", "Mono16"] ],
                   "kelvinPerCount": 0.01 } ] } }
JSON
  start_station
  wait_line 10 0 'Device has been added\.' || fail "Aravis's fake camera was not listed with a profile"
  sleep 7
  grep -q '^DETECT' "$work/station.txt" && fail "a serial outside the default prefixes was opened"
  stop_station || fail "the station did not end cleanly"
  printf 'CameraIdentityPrefixes=164,165,16F,116F,GV\n' >> "$work/config/Quro-Duzu/Calidra/Calidra.conf"
  start_station
  wait_line 20 0 '^DETECT' || fail "the profiled camera was not opened with its serial's prefix set"
  stop_station || fail "the station did not end cleanly"
  stop_camera TERM
  cp "$work/thermal-profile.json" "$SORVIK_CONFIG"
else
  echo "skipped: arv-fake-gv-camera-0.8 (package aravis-tools) is not installed"
fi

echo "== a mistake in SorvikC.json"
echo '{ "genicam": { "adresses": ["127.0.0.1"] } }' > "$SORVIK_CONFIG"
timeout 20 "$work/run/calidra-headless" --seconds 1 > "$work/station.txt" 2> "$work/station.err"
errors=$(grep -c '^svkInit: configuration file .*SorvikC.json: unknown key "adresses" in "genicam"$' "$work/station.err")
[[ $errors == 1 ]] || fail "expected one line naming the file and the key, got: $(cat "$work/station.err")"

echo "== $failures failure(s)"
[[ $failures == 0 ]]
