#!/bin/bash
# Builds the installer and starts it on a simulated host with the stand-in
# bundle. Extra arguments go to the installer (--install, --remove, ...).
# The host is kept in build/demo-host, so a second run finds the agent that
# the first one installed; delete that folder to start over.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/bootstrap.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build -j"$(nproc)" >/dev/null

mkdir -p build/demo-host
set +e
tools/simhost --state build/demo-host -- build/bundle/installer/install "$@"
status=$?
set -e
echo "installer exit code: $status (log: build/demo-host/upper/var-log/halcrest-kel-agent.log)"
exit "$status"
