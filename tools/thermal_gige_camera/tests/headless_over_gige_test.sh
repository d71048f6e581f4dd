#!/usr/bin/env bash
# The station over GigE Vision: the real calidra-headless and libSorvikC.so reach the thermal
# test camera on 127.0.0.1 by unicast. Run through sdk/tests/in-own-network, so that the
# cameras live in a network namespace of the test's own where the machine allows it.
#   headless_over_gige_test.sh RUNTIME_DIR
set -uo pipefail
runtime=${1:?usage: headless_over_gige_test.sh RUNTIME_DIR}
work=$(mktemp -d /tmp/headless_over_gige.XXXXXX)
camera=
second_camera=
station=
cleanup() {
  [[ -n $station ]] && kill "$station" 2>/dev/null
  [[ -n $camera ]] && kill "$camera" 2>/dev/null
  [[ -n $second_camera ]] && kill "$second_camera" 2>/dev/null
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
second_port_bound() { grep -q '0200007F:0F74' /proc/net/udp; } # 127.0.0.2
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
readout_38_2='^READOUT	38\.[123] °C	'

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
sleep 2 # a window in which no snapshot may come: two of the alarm's snapshot periods
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

# A connection round of the station tries the cameras it may open in the order they are listed: with
# a thermal camera listed after Aravis's fake one (both answer the library's first listing), the
# round that connects the thermal camera has passed the fake one over. Waiting for that connection
# replaces waiting out a whole round.
both_listed() { [[ $(grep -c 'Device has been added\.' "$work/station.txt") -ge 2 ]]; }
connected_to_second_camera() { # WHAT
  wait_until 10 both_listed || fail "Aravis's fake camera was not listed ($1)"
  wait_line 20 0 'Camera connected: ' || { fail "no camera was opened ($1)"; return; }
  grep -Eq 'svkOpen|Camera open error' "$work/station.txt" &&
    fail "the station tried to open $1: $(grep -Em1 'svkOpen|open error' "$work/station.txt")"
  grep -m1 'Camera connected: ' "$work/station.txt" | grep -q '\[16F0B002\]' ||
    fail "the station opened $1: $(grep -m1 'Camera connected: ' "$work/station.txt")"
}
thermal_profile='{ "match": { "vendor": "Calidra" },
  "features": [ ["PixelFormat", "Mono16"], ["IRFormat", "TemperatureLinear10mK"] ], "kelvinPerCount": 0.01 }'
fake_profile='{ "match": { "vendor": "Aravis" }, "features": [ ["PixelFormat", "Mono16"] ], "kelvinPerCount": 0.01 }'

echo "== a GenICam device without a profile is listed and never opened"
if ! command -v arv-fake-gv-camera-0.8 > /dev/null; then
  echo "skipped: arv-fake-gv-camera-0.8 (package aravis-tools) is not installed"
elif ! ip -4 addr show dev lo | grep -q 'inet 127\.0\.0\.2/'; then
  echo "skipped: a second camera needs 127.0.0.2, set up in the test's own network namespace (in-own-network)"
else
  cp "$SORVIK_CONFIG" "$work/thermal-profile.json"
  arv-fake-gv-camera-0.8 -i 127.0.0.1 > "$work/fake.txt" 2>&1 &
  camera=$!
  for _ in $(seq 100); do control_port_bound && break; sleep 0.1; done
  scene KVX-384TRA
  "$runtime/thermal-gige-camera" --scenario "$work/scene.json" --address 127.0.0.2 --serial 16F0B002 \
    >> "$work/camera.txt" 2>&1 &
  second_camera=$!
  wait_until 10 second_port_bound || fail "the second test camera did not start"
  cat > "$SORVIK_CONFIG" <<JSON
{ "genicam": { "addresses": ["127.0.0.1", "127.0.0.2"], "discover": false, "cameras": [ $thermal_profile ] } }
JSON
  start_station
  connected_to_second_camera "a camera without profile"
  stop_station || fail "the station did not end cleanly"

  echo "== with a profile it is a thermal camera; CameraIdentityPrefixes lets the station open its serial"
  cat > "$SORVIK_CONFIG" <<JSON
{ "genicam": { "addresses": ["127.0.0.1", "127.0.0.2"], "discover": false,
    "cameras": [ $fake_profile, $thermal_profile ] } }
JSON
  start_station
  connected_to_second_camera "a serial outside the default prefixes"
  stop_station || fail "the station did not end cleanly"
  kill "$second_camera" 2>/dev/null; wait "$second_camera" 2>/dev/null; second_camera=
  cat > "$SORVIK_CONFIG" <<JSON
{ "genicam": { "addresses": ["127.0.0.1"], "discover": false, "cameras": [ $fake_profile ] } }
JSON
  printf 'CameraIdentityPrefixes=164,165,16F,116F,GV\n' >> "$work/config/Quro-Duzu/Calidra/Calidra.conf"
  start_station
  wait_line 20 0 '^DETECT' || fail "the profiled camera was not opened with its serial's prefix set"
  stop_station || fail "the station did not end cleanly"
  stop_camera TERM
  cp "$work/thermal-profile.json" "$SORVIK_CONFIG"
fi

echo "== a mistake in SorvikC.json"
echo '{ "genicam": { "adresses": ["127.0.0.1"] } }' > "$SORVIK_CONFIG"
timeout 20 "$work/run/calidra-headless" --seconds 1 > "$work/station.txt" 2> "$work/station.err"
errors=$(grep -c '^svkInit: configuration file .*SorvikC.json: unknown key "adresses" in "genicam"$' "$work/station.err")
[[ $errors == 1 ]] || fail "expected one line naming the file and the key, got: $(cat "$work/station.err")"

echo "== $failures failure(s)"
[[ $failures == 0 ]]
