#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install_deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLRK_BUILD_TOOL=ON -DLRK_BUILD_TESTS=ON -DLRK_SANITIZE= >/dev/null
cmake --build build -j"$(nproc)"
cd build
# Most tests wait on real-time streams rather than the CPU, so run more than one per core.
ctest --output-on-failure -j "$(( $(nproc) * 2 ))" "$@"
