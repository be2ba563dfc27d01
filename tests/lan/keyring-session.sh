#!/bin/bash
# Runs CMD with a Secret Service of its own: a private D-Bus session bus
# (dbus-run-session) and gnome-keyring-daemon's secrets component, unlocked
# with a test password, its keyring files under $HOME. The daemon is stopped
# by its PID when CMD ends. Without those tools CMD runs as it is, and the
# tests that need the keyring say they were skipped.
#
#   keyring-session.sh CMD...
set -uo pipefail
if [ -z "${MLK_KEYRING_BUS:-}" ]; then
  for tool in dbus-run-session dbus-send gnome-keyring-daemon; do
    command -v "$tool" >/dev/null || exec "$@"
  done
  exec dbus-run-session -- env MLK_KEYRING_BUS=1 "$0" "$@"
fi

mkdir -p "$HOME"
printf 'mlk-test-keyring' |
  gnome-keyring-daemon --foreground --unlock --components=secrets >"$HOME/keyring-daemon.log" 2>&1 &
daemon=$!
for _ in $(seq 100); do
  if dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
    string:org.freedesktop.secrets 2>/dev/null | grep -q 'boolean true'; then break; fi
  sleep 0.1
done
"$@"
status=$?
kill "$daemon" 2>/dev/null
wait "$daemon" 2>/dev/null
exit $status
