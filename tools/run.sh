#!/usr/bin/env bash
# Sets up, builds and runs the production: tools/run.sh [options] [width height [samples]]
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/build.sh
cd build
exec ../tools/with-display.sh ./quellspire "$@"
