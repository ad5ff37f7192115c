#!/usr/bin/env bash
# Runs every benchmark of the build folder given as $1 and prints one report.
set -uo pipefail
build="${1:-build}"
src="$(cd "$(dirname "$0")/.." && pwd)"
export QTWEBENGINE_DISABLE_SANDBOX=1
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d /tmp/kf-bench-runtime.XXXXXX)}"
chmod 700 "$XDG_RUNTIME_DIR"
status=0

echo "== machine: $(nproc) cores, $(uname -r), $(date -u +%Y-%m-%dT%H:%MZ)"
for exe in "$build"/bench/*_bench; do
    [ -x "$exe" ] || continue
    name="$(basename "$exe")"
    echo
    echo "== $name"
    case "$name" in
        bridge_bench)
            "$src/scripts/xvfb-run-test.sh" "$exe" 1000 2>/dev/null || status=1 ;;
        *)
            QT_QPA_PLATFORM=offscreen "$exe" --benchmark_counters_tabular=true 2>/dev/null || status=1 ;;
    esac
done

echo
echo "== start-up and memory (under a virtual X server)"
"$src/scripts/xvfb-run-test.sh" python3 "$src/bench/startup.py" "$build/app" "$build/bench/bench_bare_browser" \
    "$build/web/pages/black/client.html" 10 || status=1
echo "== packed pages: $(stat -c %s "$build/app/theme.pak") bytes in theme.pak"

echo
echo "== music: the client's CPU use while a file plays (under a virtual X server)"
"$src/scripts/xvfb-run-test.sh" python3 "$src/bench/music_cpu.py" "$build/app" "$src/tests/e2e/pages/music.html" || status=1

echo
echo "== the Music screen: the client's whole CPU (every process) while music plays, beside the same client idle"
# The window as the client draws it on this display (software where OpenGL is a software
# rasteriser), then the same with Qt Quick's OpenGL renderer forced, as the baseline.
for backend in "" opengl; do
    line="$(QT_QUICK_BACKEND="$backend" "$src/scripts/xvfb-run-test.sh" python3 "$src/tests/e2e/screens_test.py" \
        "$build/app" "$build/screenshots" 2>/dev/null | grep '^cpu:')" || status=1
    echo "window renderer ${backend:-chosen by the client}: ${line:-no measurement}"
done
exit $status
