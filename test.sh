#!/usr/bin/env bash
# Installs what is missing, builds everything in build/ and runs the test suite.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCALIDRA_WERROR=ON >/dev/null
cmake --build build -j 2

export QT_QPA_PLATFORM=offscreen
set +e
ctest --test-dir build --output-on-failure -j 2
status=$?
set -e
exit $status
