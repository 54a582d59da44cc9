#!/usr/bin/env bash
# Builds quadrel in ./build (or $QUADREL_BUILD_DIR), first installing with
# apt-get the Debian packages that the build needs and the machine lacks.
#   scripts/build.sh             the program and its tests
#   scripts/build.sh --program   the program only, without the test tools
#   QUADREL_WERROR=ON     treat warnings as errors
#   QUADREL_SANITIZE=ON   AddressSanitizer and UndefinedBehaviorSanitizer
set -euo pipefail
cd "$(dirname "$0")/.."

tests=ON
case "${1-}" in
  "") ;;
  --program) tests=OFF ;;
  *)
    echo "usage: scripts/build.sh [--program]" >&2
    exit 2
    ;;
esac

missing=()
reasons=()
lacks() {
  missing+=("$1")
  reasons+=("$(printf '  %-14s %s' "$1" "$2")")
}
command -v g++ >/dev/null || lacks g++ "compiles the program"
command -v make >/dev/null || lacks make "runs the compiler for CMake"
command -v cmake >/dev/null || lacks cmake "configures the build"
if [ "$tests" = ON ]; then
  [ -f /usr/include/gtest/gtest.h ] || lacks libgtest-dev "GoogleTest, the tests' framework"
  [ -f /usr/include/gmock/gmock.h ] || lacks libgmock-dev "needed by GoogleTest's CMake package"
  command -v python3 >/dev/null || lacks python3 "reads the output back with a second WAV reader"
  command -v groff >/dev/null || lacks groff-base "checks that the manual page renders without warnings"
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "build.sh: this machine lacks packages that the build needs; installing them with apt-get:"
  printf '%s\n' "${reasons[@]}"
fi
scripts/install-packages.sh ${missing[@]+"${missing[@]}"}

build_dir=${QUADREL_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE:-Release} -DQUADREL_TESTS=$tests \
  -DQUADREL_WERROR=${QUADREL_WERROR:-OFF} -DQUADREL_SANITIZE=${QUADREL_SANITIZE:-OFF} >/dev/null
cmake --build "$build_dir" -j2
