#!/usr/bin/env bash
# Installs what is missing, builds into build/ and starts the machine emulator.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh

kovrit_ensure_packages
kovrit_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo

echo "Starting the machine emulator on a pseudo-terminal (build/rm3sim-port)."
exec build/tools/rm3sim/kovrit-rm3sim --auto --link build/rm3sim-port
