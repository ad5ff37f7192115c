#!/usr/bin/env bash
# Starts the client from its application folder. Extra arguments go to the client.
set -euo pipefail
app_dir="${1:?usage: run-client.sh APP_DIR [ARGS...]}"
shift
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "run-client: no display found (DISPLAY is not set)." >&2
    echo "run-client: start it inside a desktop session, or try: xvfb-run -a make run" >&2
    exit 1
fi
if [ "$(id -u)" -eq 0 ]; then
    # The browser engine refuses to run as root with its sandbox on.
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR="/tmp/kestrafon-runtime-$(id -u)"
    mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
fi
exec "$app_dir/kestrafon" "$@"
