#!/bin/bash
# Runs a command with DISPLAY set to a private Xvfb server of its own. When no
# Xvfb is installed the command runs as it is (its display tests then skip).
set -u
if ! command -v Xvfb >/dev/null 2>&1; then
  echo "with_xvfb: Xvfb not installed, running without a display" >&2
  unset DISPLAY WAYLAND_DISPLAY
  exec "$@"
fi
work="$(mktemp -d)"
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$work"' EXIT
# -displayfd picks a free display number and writes it once the server is
# ready, so parallel test programs never race for one.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
server=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  kill -0 "$server" 2>/dev/null || break
  sleep 0.1
done
if ! [ -s "$work/display" ]; then
  echo "with_xvfb: Xvfb did not start:" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"
unset WAYLAND_DISPLAY
# Settings stay in memory: a test machine has no session bus for dconf. What
# the toolkit keeps per user (recent files, caches) goes to the private folder.
export GDK_BACKEND=x11 NO_AT_BRIDGE=1 GTK_USE_PORTAL=0 GSETTINGS_BACKEND=memory
export XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache" XDG_CONFIG_HOME="$work/config"
"$@"
