#!/bin/bash
# Builds the installer and runs every test, then the same code again under the
# sanitizers and the fuzzers:
#   plain  the Debug build and the whole suite (build/)
#   asan   the whole suite under AddressSanitizer + UBSan (build-asan/); the
#          end-to-end tests run that build's installer and screen driver
#   tsan   the runner tests and the spinner's terminal tests under
#          ThreadSanitizer (build-tsan/)
#   fuzz   every fuzz target for KEL_FUZZ_SECONDS (default 25) each, built
#          with clang, libFuzzer, ASan and UBSan (build-fuzz/)
#   release  the Release build and its archive (build-release/): the
#          self-contained program in a bare chroot, the install rules, the
#          archive and a bundle assembled from it (tools/release_test.sh)
#   fleet  the Ansible role over ssh against simulated hosts, with the plain
#          build's installer (tests/fleet/fleet_test.py)
# With no arguments all of them run in this order; name stages to run only those.
set -euo pipefail
cd "$(dirname "$0")/.."

stages=("$@")
((${#stages[@]})) || stages=(plain asan tsan fuzz release fleet)
for s in "${stages[@]}"; do
  case $s in plain | asan | tsan | fuzz | release | fleet) ;; *) echo "test.sh: unknown stage '$s' (plain, asan, tsan, fuzz, release, fleet)" >&2; exit 2 ;; esac
done

jobs=$(nproc)
fuzz_seconds=${KEL_FUZZ_SECONDS:-25}
# The runner suites and the terminal tests of the spinner thread.
tsan_tests='^(Command|ProgressRunner)\.|^ProgressScreens\.Spinner'

bash tools/bootstrap.sh

configure() { # dir, extra cmake arguments...
  local dir=$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DKEL_WERROR=ON "$@" >/dev/null
}

# Sanitizer reports go to files as well as aborting the process, so that a
# report from a process whose exit status no test looks at still fails the run.
reports_clean() { # dir
  local found
  found=$(find "$1" -type f 2>/dev/null | sort)
  [ -z "$found" ] && return 0
  echo "test.sh: sanitizer reports in $1:" >&2
  for f in $found; do
    echo "---- $f" >&2
    cat "$f" >&2
  done
  return 1
}

sanitizer_env() { # report dir
  # Leaks are checked: a process that ends through exit() keeps its callers'
  # frames and the screen library's globals, so what LeakSanitizer reports
  # is memory that nothing points to any more. The screen library itself has
  # no frame pointers; the slow unwinder sees through it, which the
  # suppressions (what it loses on its own) need, at no cost worth measuring.
  export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:fast_unwind_on_malloc=0:strict_string_checks=1:check_initialization_order=1:log_path=$1/asan"
  export LSAN_OPTIONS="suppressions=$PWD/tools/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="halt_on_error=1:abort_on_error=1:print_stacktrace=1:log_path=$1/ubsan"
  export TSAN_OPTIONS="halt_on_error=1:abort_on_error=1:second_deadlock_stack=1:log_path=$1/tsan"
}

run_plain() {
  configure build
  cmake --build build -j"$jobs"
  ctest --test-dir build -j2 --output-on-failure --timeout 300
}

run_asan() {
  configure build-asan -DKEL_SANITIZE=address
  cmake --build build-asan -j"$jobs"
  local reports=$PWD/build-asan/sanitizer-reports
  rm -rf "$reports" && mkdir -p "$reports"
  local rc=0
  # Valgrind cannot run a binary built with ASan; the plain stage runs that test.
  # The terminal-loss races get their many rounds in the plain stage.
  (sanitizer_env "$reports" && export KEL_RACE_REPEATS=2 &&
    ctest --test-dir build-asan -j2 --output-on-failure --timeout 600 -E Valgrind) || rc=$?
  reports_clean "$reports" || rc=1
  return $rc
}

run_tsan() {
  configure build-tsan -DKEL_SANITIZE=thread
  cmake --build build-tsan -j"$jobs" --target unit_tests e2e_tests screen_driver
  local reports=$PWD/build-tsan/sanitizer-reports
  rm -rf "$reports" && mkdir -p "$reports"
  local rc=0
  (sanitizer_env "$reports" && ctest --test-dir build-tsan -j2 --output-on-failure --timeout 600 -R "$tsan_tests" --no-tests=error) || rc=$?
  reports_clean "$reports" || rc=1
  return $rc
}

run_fuzz() {
  cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKEL_WERROR=ON -DCMAKE_CXX_COMPILER=clang++ \
    -DKEL_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
  cmake --build build-fuzz -j"$jobs" --target kel_fuzz
  local artifacts=$PWD/build-fuzz/artifacts
  rm -rf "$artifacts" && mkdir -p "$artifacts"
  local failed=() target name work log
  for target in build-fuzz/fuzz/fuzz_*; do
    name=${target##*/fuzz_}
    # New inputs go to a scratch directory; the seeds in the tree stay as they are.
    work=$(mktemp -d)
    log=$artifacts/$name.log
    echo "fuzz: $name for ${fuzz_seconds}s"
    if "$target" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
      -print_final_stats=1 -artifact_prefix="$artifacts/$name-" "$work" "fuzz/corpus/$name" >"$log" 2>&1; then
      grep -E '^(Done|stat::number_of_executed_units)' "$log" || true
    else
      tail -n 60 "$log"
      echo "fuzz: $name failed; add the input above to fuzz/corpus/$name/ so that the replay test keeps it" >&2
      failed+=("$name")
    fi
    rm -rf "$work"
  done
  ((${#failed[@]} == 0)) || { echo "fuzz: failed: ${failed[*]}" >&2; return 1; }
}

run_release() {
  # The installer and its catalogues only: no tests, benchmarks or fuzzers.
  cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DKEL_WERROR=ON -DBUILD_TESTING=OFF >/dev/null
  cmake --build build-release -j"$jobs" --target package
  bash tools/release_test.sh build-release
}

run_fleet() {
  configure build
  cmake --build build -j"$jobs" --target kel_install
  python3 tests/fleet/fleet_test.py --bundle build/bundle
}

for s in "${stages[@]}"; do
  echo "==== $s"
  start=$SECONDS
  "run_$s"
  echo "==== $s passed in $((SECONDS - start))s"
done
