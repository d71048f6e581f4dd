#!/usr/bin/env bash
# Installs what is missing, builds everything in build/ and runs the whole suite; then, unless
# CALIDRA_QUICK=1, runs the unit and frame-thread tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer (build-asan/), the frame-thread tests under ThreadSanitizer
# (build-tsan/), and every fuzz target briefly on its corpus (build-fuzz/, clang).
# Tests labelled e2e (whole programs and servers) and benchmark smoke runs are plain-pass only.
# CALIDRA_SOAK=1 adds a ten-minute soak of the headless station.
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD

scripts/install-deps
export QT_QPA_PLATFORM=offscreen
# Every tree here, and every clone wherever it lies, shares one compiler cache: paths inside the
# clone are hashed relative to it.
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1 CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-8G}
jobs=2
status=0
started=$SECONDS

stage() { echo "== $* ($(( SECONDS - started )) s)"; }

stage "format check"
scripts/check-format || status=1

stage "build and test"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCALIDRA_WERROR=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs" || status=1

if [[ "${CALIDRA_QUICK:-0}" != 1 ]]; then
  # The sanitizer trees build no benchmarks, and test what a sanitizer can find in this process:
  # the e2e tests' programs run the same code the unit tests already cover.
  sanitizer_tree() {
    cmake -S . -B "$1" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCALIDRA_WERROR=ON \
      -DCALIDRA_BUILD_BENCHMARKS=OFF -DCALIDRA_SANITIZE="$2" >/dev/null
  }

  stage "address and undefined-behaviour sanitizers"
  sanitizer_tree build-asan address,undefined
  cmake --build build-asan -j "$jobs"
  export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
  export LSAN_OPTIONS=suppressions=$root/scripts/sanitizer.supp
  # Qt's widget and font caches are let go at exit without being freed: the tests labelled
  # widgets are checked for memory errors but not for leaks, everything else for both.
  ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs" -LE 'e2e|benchmark|widgets' || status=1
  ASAN_OPTIONS=halt_on_error=1:detect_leaks=0 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs" -L widgets -LE e2e || status=1

  stage "thread sanitizer on the frame-thread tests"
  sanitizer_tree build-tsan thread
  cmake --build build-tsan -j "$jobs" --target frame_thread_tests
  TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/scripts/tsan.supp" \
    ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L frame-thread -LE e2e || status=1

  stage "fuzz targets, briefly each"
  CALIDRA_FUZZ_JOBS=$jobs scripts/fuzz-all 10 || status=1
fi

if [[ "${CALIDRA_SOAK:-0}" == 1 ]]; then
  stage "ten-minute soak"
  scripts/soak 10 || status=1
fi

stage "done, status $status"
exit $status
