#!/usr/bin/env bash
# Installs what is missing, builds into build/ and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh

kovrit_ensure_packages
kovrit_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo

cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 300
