#!/usr/bin/env bash
# A private sound server for tests: a PulseAudio daemon with a null sink and
# a null source, its runtime files and socket in the given directory, no
# system or user configuration, no D-Bus. Clients reach it through
# PULSE_SERVER=unix:<dir>/native (the CMake fixture sets that).
#   pulse-server.sh start <dir>   starts it and waits until it answers
#   pulse-server.sh stop <dir>    stops the one started there
set -euo pipefail
action=${1:?start or stop}
dir=${2:?runtime directory}
pidfile=$dir/pid

stop() {
  [ -f "$pidfile" ] || return 0
  local pid
  pid=$(cat "$pidfile")
  if kill "$pid" 2>/dev/null; then
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -f "$pidfile" "$dir/native"
}

case $action in
start)
  stop
  mkdir -p "$dir/home"
  chmod 700 "$dir"
  # HOME and the runtime paths inside the directory: the daemon writes its
  # cookie and state there and never reads the user's configuration.
  HOME=$dir/home XDG_RUNTIME_DIR=$dir XDG_CONFIG_HOME=$dir/home PULSE_RUNTIME_PATH=$dir \
  PULSE_STATE_PATH=$dir/home DBUS_SESSION_BUS_ADDRESS=disabled: \
    pulseaudio -n -F /dev/null --daemonize=yes --use-pid-file=yes --exit-idle-time=-1 \
      --system=no --disallow-module-loading=yes --log-target="file:$dir/log" \
      --load="module-native-protocol-unix auth-anonymous=1 socket=$dir/native" \
      --load="module-null-sink sink_name=paloma_speakers" \
      --load="module-null-source source_name=paloma_microphone"
  for _ in $(seq 100); do
    PULSE_SERVER=unix:$dir/native pactl info >/dev/null 2>&1 && exit 0
    sleep 0.1
  done
  echo "the sound server did not answer; its log:" >&2
  cat "$dir/log" >&2 || true
  stop
  exit 1
  ;;
stop)
  stop
  ;;
*)
  echo "usage: $0 start|stop <dir>" >&2
  exit 2
  ;;
esac
