#!/usr/bin/env bash
# Builds quadrel and its tests in ./build (or $QUADREL_BUILD_DIR), installing
# the compiler, CMake and GoogleTest first when they are missing.
#   QUADREL_WERROR=ON     treat warnings as errors
#   QUADREL_SANITIZE=ON   AddressSanitizer and UndefinedBehaviorSanitizer
set -euo pipefail
cd "$(dirname "$0")/.."

missing=()
command -v g++ >/dev/null || missing+=(g++)
command -v cmake >/dev/null || missing+=(cmake)
[ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
[ -f /usr/include/gmock/gmock.h ] || missing+=(libgmock-dev)
command -v python3 >/dev/null || missing+=(python3)
scripts/install-packages.sh ${missing[@]+"${missing[@]}"}

build_dir=${QUADREL_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE:-Release} \
  -DQUADREL_WERROR=${QUADREL_WERROR:-OFF} -DQUADREL_SANITIZE=${QUADREL_SANITIZE:-OFF} >/dev/null
cmake --build "$build_dir" -j2
