#!/usr/bin/env bash
# Installs what the build and the production need, if missing, and builds everything into
# build/. Arguments go to tools/install-deps.sh (tools/test.sh passes --tests).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh "$@"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
