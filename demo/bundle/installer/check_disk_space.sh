#!/bin/sh
# Demo stand-in: is there room for the agent? Exit 2 means too little space.
# Scenario (environment, all optional):
#   KEL_DISK_OUT    what it prints (default nothing)
#   KEL_DISK_OUT_FILE  a file whose bytes it prints instead (long or binary)
#   KEL_DISK_EXIT   exit status (default 0)
#   KEL_DISK_EXITS  exit statuses, one per call, the last one repeating;
#                   overrides KEL_DISK_EXIT
#   KEL_DISK_DELAY  seconds it takes before it answers (default 0)
#   KEL_DISK_KILL   a signal (name or number) it sends to the installer that
#                   runs it before it answers
# Calls are recorded in $KEL_SIM_STATE/check_disk_space.sh.calls.


. "$(dirname "$0")/scenario.sh"
record_call check_disk_space.sh "$@"
[ -z "${KEL_DISK_KILL:-}" ] || kill_installer "$KEL_DISK_KILL"

if [ -n "${KEL_DISK_EXITS:-}" ]; then
    code=$(next_in_seq "$KEL_DISK_EXITS" disk)
else
    code=${KEL_DISK_EXIT:-0}
fi
sleep "${KEL_DISK_DELAY:-0}"
if [ -n "${KEL_DISK_OUT_FILE:-}" ]; then
    cat -- "$KEL_DISK_OUT_FILE"
else
    printf '%s' "${KEL_DISK_OUT:-}"
fi
exit "$code"
