#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (under AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs each for a bounded time from the
# seed corpus in tests/fuzz/corpus/. Fails on any crash, sanitizer report,
# per-input timeout or memory blow-up, and prints each target's execution
# count. New inputs found go to a scratch corpus, never into the repository.
#   FUZZ_SECONDS          time per target (default 30)
#   FUZZ_INPUT_TIMEOUT    seconds one input may take (default 10)
#   QUADREL_FUZZ_DIR      build directory (default build-fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-30}
input_timeout=${FUZZ_INPUT_TIMEOUT:-10}
build_dir=${QUADREL_FUZZ_DIR:-build-fuzz}
targets=(wave_header command_line console_line name_resolution byte_order ixml)

probe='extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }'
if ! echo "$probe" | clang++ -x c++ -fsanitize=fuzzer,address,undefined - -o /dev/null 2>/dev/null; then
  echo "fuzz.sh: clang++ with the libFuzzer runtime is needed (apt-get install clang libclang-rt-14-dev)" >&2
  exit 1
fi

cmake -S . -B "$build_dir" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUADREL_FUZZ=ON -DQUADREL_TESTS=OFF -DQUADREL_WERROR=${QUADREL_WERROR:-OFF} >/dev/null
cmake --build "$build_dir" -j2 --target "${targets[@]/#/fuzz_}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=()
for target in "${targets[@]}"; do
  mkdir -p "$work/$target"
  log="$work/$target.log"
  echo "== fuzz_$target for ${seconds}s"
  if "$build_dir/tests/fuzz/fuzz_$target" "$work/$target" "tests/fuzz/corpus/$target" \
      -max_total_time="$seconds" -timeout="$input_timeout" -print_final_stats=1 \
      -artifact_prefix="$work/$target-" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz_$target: ${runs:-?} executions, no findings"
  else
    failed+=("$target")
    echo "fuzz_$target: FAILED" >&2
    grep -E -A30 "ERROR|runtime error|deadly signal|timeout|out-of-memory" "$log" | head -60 >&2 || tail -40 "$log" >&2
    for artifact in "$work/$target"-*; do
      [ -e "$artifact" ] && echo "input: $(basename "$artifact"): $(od -An -tx1 -v "$artifact" | head -8 | tr -s ' ')" >&2
    done
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz.sh: findings in: ${failed[*]}" >&2
  exit 1
fi
