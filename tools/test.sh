#!/usr/bin/env bash
# Sets up (the build's needs and the test tools), builds and runs the whole test suite (GL
# tests on a virtual display if there is no display).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/build.sh --tests
exec tools/with-display.sh ctest --test-dir build --output-on-failure --timeout 900 "$@"
