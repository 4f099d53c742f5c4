#!/usr/bin/env bash
# Installs what is missing, builds Folianta (without its tests and benchmarks, in build-run/) and
# starts it in the working folder run/, which holds the bundled example page as short.shtml.
# Without a display the window is started under Xvfb and a screenshot of it is saved as
# run/screenshot.png instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh run
cmake -S . -B build-run -G Ninja -DFOLIANTA_TESTS=OFF -DFOLIANTA_BENCH=OFF
cmake --build build-run --target folianta
mkdir -p run
cp examples/short.shtml run/short.shtml
cd run
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec ../build-run/app/folianta
fi
echo "No display found: starting Folianta under Xvfb; the screenshot goes to run/screenshot.png"
xvfb-run -a -s "-screen 0 1100x700x24" bash -c '
    ../build-run/app/folianta &
    program=$!
    sleep 3
    import -window Folianta screenshot.png
    kill $program'
echo "Saved $(pwd)/screenshot.png"
