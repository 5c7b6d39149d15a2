#!/usr/bin/env bash
# Draws the launcher's icons and logos again (resources/tools/OrvelIconPainter.cpp)
# into the resource folders; the PNGs are kept in the repository.
set -euo pipefail
cd "$(dirname "$0")/.."
res=ToolsIntegrate/QHalvaneLauncher/resources
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target orvel_icon_painter >/dev/null
build/bin/orvel_icon_painter "$res/icons" "$res/images"
ls -1 "$res/icons" "$res/images"
