#!/usr/bin/env bash
# measure_stream_test.sh: measure-stream against stand-ins for the server and ffmpeg. Without
# gst-inspect-1.0 it says so and starts nothing; stopped by SIGTERM or killed outright, it leaves
# no server or client of its own running.
set -euo pipefail
script="$(cd "$(dirname "$0")/.." && pwd)/measure-stream"
work=$(mktemp -d)
started=()
# shellcheck disable=SC2317  # called by the trap
cleanup() {
  for pid in "${started[@]}" $(cat "$work"/*.pids 2>/dev/null); do
    kill -9 "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
status=0
fail() {
  echo "FAIL: $*" >&2
  status=1
}

# A PATH of nothing but stand-ins: the interpreter itself, and a server and an ffmpeg that only
# note their process id and wait.
mkdir "$work/bin"
ln -s "$(python3 -c 'import sys; print(sys.executable)')" "$work/bin/python3"
sleep_program=$(command -v sleep)
cat >"$work/bin/VantrelServer" <<SERVER
#!/bin/sh
echo \$\$ >>"$work/server.pids"
echo "listening on the socket"
echo "serving rtsp://127.0.0.1:9/calidra"
exec "$sleep_program" 120
SERVER
cat >"$work/bin/ffmpeg" <<CLIENT
#!/bin/sh
echo \$\$ >>"$work/client.pids"
exec "$sleep_program" 120
CLIENT
chmod +x "$work/bin/VantrelServer" "$work/bin/ffmpeg"
run() { PATH="$work/bin" exec "$script" --server "$work/bin/VantrelServer" --seconds 1; }

# Waits up to 40 s for a line in a file of process ids; prints its first id.
first_pid() {
  for _ in $(seq 400); do
    if [ -s "$work/$1.pids" ]; then
      head -n 1 "$work/$1.pids"
      return 0
    fi
    sleep 0.1
  done
  return 1
}
# Whether a process id is gone within 15 s.
gone() {
  for _ in $(seq 150); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.1
  done
  return 1
}

# No gst-inspect-1.0 on PATH: a clear message, an error status, and no server started.
if (run >"$work/out" 2>&1); then
  fail "ran without gst-inspect-1.0"
fi
grep -q "not found on PATH: gst-inspect-1.0 (Debian package gstreamer1.0-tools)" "$work/out" ||
  fail "no message naming gst-inspect-1.0: $(cat "$work/out")"
[ ! -e "$work/server.pids" ] || fail "a server was started without gst-inspect-1.0"

# A gst-inspect-1.0 that finds no decoder. SIGTERM while a client watches: both end with it.
printf '#!/bin/sh\nexit 1\n' >"$work/bin/gst-inspect-1.0"
chmod +x "$work/bin/gst-inspect-1.0"
run >"$work/out" 2>&1 &
measuring=$!
started+=("$measuring")
server=$(first_pid server) || fail "the server was not started"
client=$(first_pid client) || fail "no client was started"
kill -TERM "$measuring"
if wait "$measuring"; then
  fail "a stopped measurement ended with status 0"
fi
grep -q "stopped by signal" "$work/out" || fail "no word of the signal: $(cat "$work/out")"
gone "$server" || fail "the server outlived SIGTERM"
gone "$client" || fail "the client outlived SIGTERM"

# Killed outright: the kernel ends the server it started.
rm -f "$work"/*.pids
run >"$work/out" 2>&1 &
measuring=$!
started+=("$measuring")
server=$(first_pid server) || fail "the server was not started again"
kill -KILL "$measuring"
wait "$measuring" 2>/dev/null || true
gone "$server" || fail "the server outlived its killed measurement"

exit $status
