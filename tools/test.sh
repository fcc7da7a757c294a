#!/bin/bash
# Builds the installer and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/bootstrap.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Debug -DKEL_WERROR=ON >/dev/null
cmake --build build -j"$(nproc)"
ctest --test-dir build -j2 --output-on-failure --timeout 300
