#!/bin/sh
# Demo stand-in: is there room for the agent? Exit 2 means too little space.
# Scenario (environment, all optional):
#   KEL_DISK_OUT    what it prints (default nothing)
#   KEL_DISK_OUT_FILE  a file whose bytes it prints instead (long or binary)
#   KEL_DISK_EXIT   exit status (default 0)
#   KEL_DISK_EXITS  exit statuses, one per call, the last one repeating;
#                   overrides KEL_DISK_EXIT
# Calls are recorded in $KEL_SIM_STATE/check_disk_space.sh.calls.

# Entry of list $1 for this call, counted in $KEL_SIM_STATE/$2.count.
next_in_seq() {
    n=0
    if [ -n "${KEL_SIM_STATE:-}" ]; then
        mkdir -p "$KEL_SIM_STATE"
        [ -f "$KEL_SIM_STATE/$2.count" ] && n=$(cat "$KEL_SIM_STATE/$2.count")
        echo $((n + 1)) >"$KEL_SIM_STATE/$2.count"
    fi
    set -f
    set -- $1
    set +f
    [ $# -gt 0 ] || { echo 0; return; }
    [ $n -lt $# ] || n=$(($# - 1))
    shift $n
    echo "$1"
}

if [ -n "${KEL_SIM_STATE:-}" ]; then
    mkdir -p "$KEL_SIM_STATE"
    echo "$*" >>"$KEL_SIM_STATE/check_disk_space.sh.calls"
fi

if [ -n "${KEL_DISK_EXITS:-}" ]; then
    code=$(next_in_seq "$KEL_DISK_EXITS" disk)
else
    code=${KEL_DISK_EXIT:-0}
fi
if [ -n "${KEL_DISK_OUT_FILE:-}" ]; then
    cat -- "$KEL_DISK_OUT_FILE"
else
    printf '%s' "${KEL_DISK_OUT:-}"
fi
exit "$code"
