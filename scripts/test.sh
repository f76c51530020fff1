#!/usr/bin/env bash
# Sets the machine up, builds, and runs every test (unit, GUI offscreen and interop)
# three ways:
#   build/       the normal build, the whole suite;
#   build-asan/  AddressSanitizer + UndefinedBehaviorSanitizer, the whole suite again;
#   build-tsan/  ThreadSanitizer, the tests of the thread code (loop, look-up pool,
#                sockets and the tests that run servers on worker threads).
# Any sanitizer report fails: it ends its test, and the report files (also those of
# programs the tests start) fail the stage. Every build runs even when an earlier
# one failed; the exit status is non-zero when any of them failed.
#
#   scripts/test.sh           all three
#   scripts/test.sh --quick   the normal build only
# Further arguments after "--" go to every ctest run (such as -R name).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

quick=0
ctest_args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=1 ;;
    --) shift; ctest_args=("$@"); break ;;
    -h|--help) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "test.sh: unknown argument $1 (try --help)" >&2; exit 2 ;;
  esac
  shift
done

"$top/scripts/setup.sh"
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
jobs=$(nproc)

# The targets whose tests exercise threads: the message loop, its Qt bridge
# and the host look-up pool (os), the socket and FTP client components (net),
# the server tests and SOCKS interop that drive peers from worker threads, and
# the server runner (its look-up pool) under real clients, and the FTP
# browser's worker and manager. A test target that
# starts threads of its own belongs here too.
tsan_targets=(os_loop_tests os_winsock_tests os_qt_tests net_socket_tests net_socks_tests
              net_line_tests net_ftp_tests engine_ftp_tests server_session_tests server_fault_tests server_runner_tests
              interop_socks_tests interop_server_tests browser_thread_tests)

failed=()
summary=()

# stage NAME COMMAND...: runs one build-and-test stage, timing it.
stage() {
  local name=$1; shift
  local start=$SECONDS
  echo "=== $name"
  if "$@"; then
    summary+=("$name: passed in $((SECONDS - start)) s")
  else
    summary+=("$name: FAILED after $((SECONDS - start)) s")
    failed+=("$name")
  fi
}

run_ctest() {
  local dir=$1; shift
  ctest --test-dir "$top/$dir" --output-on-failure --parallel "$jobs" "$@" "${ctest_args[@]}"
}

# Sanitizer reports go to files, so that those of programs the tests start
# (the server runner, Portlorn) are seen too, whose output the tests keep
# elsewhere or drop. Any report file fails the stage; all are shown.
reports_of() {
  local dir=$top/$1/sanitizer-reports
  rm -rf "$dir" && mkdir -p "$dir" && echo "$dir/report"
}

check_reports() {
  local dir=$top/$1/sanitizer-reports
  local files=() f
  # A file that only lists the suppressions used (a leak inside a system
  # library that the X tests name) holds no report.
  for f in "$dir"/report*; do
    [ -e "$f" ] && grep -qE 'ERROR:|WARNING:|runtime error' "$f" && files+=("$f")
  done
  [ ${#files[@]} -gt 0 ] || return 0
  for f in "${files[@]}"; do
    echo "--- sanitizer report $(basename "$f")"
    cat "$f"
  done
  echo "${#files[@]} sanitizer report(s) in $dir"
  return 1
}

normal() {
  "$top/scripts/build.sh" && run_ctest build --timeout 600
}

asan() {
  local log status=0
  cmake -S "$top" -B "$top/build-asan" -G Ninja -DSANITIZE=address,undefined >/dev/null &&
    cmake --build "$top/build-asan" --parallel "$jobs" || return 1
  log=$(reports_of build-asan)
  ASAN_OPTIONS=log_path=$log:log_exe_name=1:detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1 \
  UBSAN_OPTIONS=log_path=$log:log_exe_name=1:print_stacktrace=1:halt_on_error=1 \
    run_ctest build-asan --timeout 900 || status=1
  check_reports build-asan || status=1
  return $status
}

tsan() {
  local log status=0
  cmake -S "$top" -B "$top/build-tsan" -G Ninja -DSANITIZE=thread >/dev/null &&
    cmake --build "$top/build-tsan" --parallel "$jobs" --target "${tsan_targets[@]}" || return 1
  log=$(reports_of build-tsan)
  export TSAN_OPTIONS=log_path=$log:log_exe_name=1:halt_on_error=1:second_deadlock_stack=1
  # Only the tests whose programs this build made: the others are left out by
  # name (test numbers from the listing need not match those of a run).
  local unbuilt
  unbuilt=$(ctest --test-dir "$top/build-tsan" --show-only=json-v1 | python3 -c '
import json, os, re, sys
tests = json.load(sys.stdin)["tests"]
print("|".join(re.escape(t["name"]) for t in tests
               if not (t.get("command") and os.path.exists(t["command"][0]))))')
  # The interop cases against the Portlorn program are left to the other
  # builds: its Qt libraries are not built for this sanitizer, whose reports
  # from Qt's own threads say nothing of ours. The component cases stay.
  run_ctest build-tsan --timeout 900 -E "${unbuilt:+^($unbuilt)\$|}/Program( |\$)" || status=1
  check_reports build-tsan || status=1
  return $status
}

stage "normal build" normal
if [ "$quick" -eq 0 ]; then
  stage "AddressSanitizer + UBSan build" asan
  stage "ThreadSanitizer build (thread code)" tsan
fi

printf '%s\n' "${summary[@]}"
[ ${#failed[@]} -eq 0 ]
