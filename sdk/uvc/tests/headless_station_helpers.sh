# shellcheck shell=bash disable=SC2154 # work and runtime are set by the sourcing test
# What the end-to-end tests of calidra-headless with a real camera path share: the station's
# working folder and waiting for the lines it prints to $work/station.txt. Sourced by a test
# that has set work and runtime and defines fail MESSAGE.

# The station and libSorvikC.so copied to $work/run, its settings and runtime folder in $work,
# the alarm's snapshots every second (none may come while the camera is gone).
prepare_station() {
  mkdir -p "$work/run" "$work/config/Quro-Duzu/Calidra" "$work/runtime"
  cp "$runtime/calidra-headless" "$runtime/libSorvikC.so" "$work/run/"
  printf '[Settings]\nAlarmTemperature=37.5\nTrackingTemperature=32.0\nAlarmEvent=1\nAlarmSavePeriod=1\n' \
    > "$work/config/Quro-Duzu/Calidra/Calidra.conf"
  export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=offscreen
  export SORVIK_CONFIG=$work/SorvikC.json
  unset SORVIK_SIM_SCENARIO
}

# Waits up to SECONDS for a line matching the extended regular expression after line FROM.
wait_line() { # SECONDS FROM PATTERN
  for _ in $(seq $(( $1 * 10 ))); do
    tail -n +"$(( $2 + 1 ))" "$work/station.txt" | grep -Eq "$3" && return 0
    sleep 0.1
  done
  return 1
}
lines() { wc -l < "$work/station.txt"; }
# Waits up to SECONDS until COMMAND succeeds.
wait_until() { # SECONDS COMMAND...
  local seconds=$1
  shift
  for _ in $(seq $(( seconds * 10 ))); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}
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

# The camera is back since line MARK: no snapshot came while it was gone, and the station
# opens it again and alarms on the 38.2 C person in view.
expect_camera_back() { # MARK
  local mark=$1 unplugged
  unplugged=$(grep -nm1 'Selected camera was unplugged\.' "$work/station.txt" | cut -d: -f1)
  if [[ -n $unplugged ]] && sed -n "$(( unplugged + 1 )),${mark}p" "$work/station.txt" | grep -q '^SNAPSHOT'; then
    fail "a snapshot after the unplug: $(sed -n "$(( unplugged + 1 )),${mark}p" "$work/station.txt" | grep -m1 '^SNAPSHOT')"
  fi
  wait_line 10 "$mark" 'Device has been added\.' || fail "no addition after the camera came back"
  wait_line 15 "$mark" 'Camera connected: ' || fail "the camera was not opened again after it came back"
  wait_line 10 "$mark" '^ALARM	ON$' || fail "no ALARM ON after the camera came back"
  wait_line 5 "$mark" '^DETECT	[0-9]+	.*,38\.[123],1' || fail "no alarmed detection after the camera came back"
}
