#!/usr/bin/env bash
# Runs a test program inside its own virtual X server, so windowed tests see a real display.
unset QT_QPA_PLATFORM
exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" "$@"
