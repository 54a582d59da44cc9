#!/usr/bin/env bash
# Continuous integration of the Windows program: cross-builds quadrel.exe
# with MinGW-w64, runs the in-process tests under Wine, makes the Windows
# zip and checks what it holds, runs the end-to-end suite of the Linux test
# build against quadrel.exe under Wine, and checks that the Linux program
# and the quadrel.exe unpacked from the zip turn the example pair into the
# same bytes.
#   QUADREL_WERROR=ON          treat warnings as errors
#   QUADREL_WIN_BUILD_DIR      the cross build (default: build-win)
#   QUADREL_BUILD_DIR          the Linux test build, the README's (default: build);
#                              built here when it is not there yet
#   WINEPREFIX                 the Wine prefix (default: the cross build's wineprefix)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
started=$SECONDS
phase() { echo "== $* (at $((SECONDS - started)) s)"; }

missing=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64-posix)
command -v wine >/dev/null || missing+=(wine64 wine)
[ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
scripts/install-packages.sh ${missing[@]+"${missing[@]}"}

cross=$(realpath -m "${QUADREL_WIN_BUILD_DIR:-build-win}")
host=$(realpath -m "${QUADREL_BUILD_DIR:-build}")
werror=${QUADREL_WERROR:-OFF}
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$cross/wineprefix}

phase "Wine prefix and server"
# One server stays up until the end. Its first program starts Wine's
# services, which live as long as the server and keep the standard handles
# they were given: wineboot starts them here, on no pipe, so that they never
# hold open a pipe that a test run or the test discovery waits on.
mkdir -p "$WINEPREFIX"
wineserver -p || echo "a Wine server already runs for $WINEPREFIX"
trap 'wineserver -k || true' EXIT
boot=()
[ -f "$WINEPREFIX/system.reg" ] || boot=(-i)
wineboot "${boot[@]}" </dev/null >"$WINEPREFIX/wineboot.log" 2>&1

phase "GoogleTest for MinGW-w64"
gtest=$cross/googletest-install
if [ ! -f "$gtest/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$cross/googletest" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -Dgtest_disable_pthreads=ON \
    -DCMAKE_INSTALL_PREFIX="$gtest" >/dev/null
  cmake --build "$cross/googletest" -j2 >/dev/null
  cmake --install "$cross/googletest" >/dev/null
fi

phase "cross build and in-process tests under Wine"
cmake -S . -B "$cross" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DQUADREL_WERROR="$werror" -DGTest_DIR="$gtest/lib/cmake/GTest" >/dev/null
cmake --build "$cross" -j2
ctest --test-dir "$cross" -j2 --output-on-failure

phase "the Windows zip"
# What a user downloads: the zip that CPack makes of the cross build. The
# comparison below runs the quadrel.exe unpacked from it.
rm -f "$cross"/quadrel-*.zip
(cd "$cross" && cpack -G ZIP)
zip=$(echo "$cross"/quadrel-*.zip)
folder=$(basename "$zip" .zip)
unpacked=$(mktemp -d)
trap 'wineserver -k || true; rm -rf "$unpacked"' EXIT
(cd "$unpacked" && cmake -E tar xf "$zip")
(cd "$unpacked" && find . -type f -printf '%10s  %P\n' | sort -k2)
listed=$(cd "$unpacked" && find . -type f -printf '%P\n' | sort | tr '\n' ' ')
[ "$listed" = "$folder/LICENSE.txt $folder/README.txt $folder/quadrel.exe " ] ||
  { echo "windows.sh: the zip holds $listed" >&2; exit 1; }

phase "end-to-end suite against quadrel.exe under Wine"
# The Linux test build serves as it is: the tests run the program that
# QUADREL_TEST_PROGRAM names, here quadrel.exe through a wrapper that keeps
# Wine's own diagnostics out of the program's.
QUADREL_BUILD_DIR="$host" scripts/build.sh
wrapper=$cross/quadrel-under-wine
printf '#!/bin/sh\nexport WINEDEBUG=-all\nexec wine "%s" "$@"\n' "$cross/quadrel.exe" >"$wrapper"
chmod +x "$wrapper"
QUADREL_TEST_PROGRAM=$wrapper QUADREL_TEST_UNDER_WINE=1 ctest --test-dir "$host" -j2 --output-on-failure

phase "the example pair, Linux program and quadrel.exe from the zip"
compare=$(mktemp -d)
for program in linux windows; do
  mkdir "$compare/$program"
  cp examples/wx.wav examples/yz.wav "$compare/$program/"
  command=("$host/quadrel")
  [ "$program" = windows ] && command=(wine "$unpacked/$folder/quadrel.exe")
  status=0
  (cd "$compare/$program" && "${command[@]}" wx.wav yz.wav wxyz.wav >stdout 2>stderr) || status=$?
  echo "$status" >"$compare/$program/status"
done
for file in stdout stderr status wxyz.wav; do
  cmp "$compare/linux/$file" "$compare/windows/$file"
done
rm -rf "$compare"
echo "same bytes: console output, error output, exit status and wxyz.wav"

echo "== Windows CI took $((SECONDS - started)) s"
