# Shared by the demo stand-in tools (sourced, POSIX sh): what a scenario asks
# of them, and the records tests read back.

# A login on the simulated host (over ssh) does not inherit the environment
# simhost gave its command; simhost leaves that scenario in a file instead.
if [ -z "${KEL_SIM_STATE:-}" ] && [ -r /etc/kel-simhost/scenario ]; then
    . /etc/kel-simhost/scenario
fi

# Appends this call's arguments to $KEL_SIM_STATE/<tool>.calls.
record_call() {
    tool=$1
    shift
    if [ -n "${KEL_SIM_STATE:-}" ]; then
        mkdir -p "$KEL_SIM_STATE"
        echo "$*" >>"$KEL_SIM_STATE/$tool.calls"
    fi
}

# Entry of list $1 for this call, counted in $KEL_SIM_STATE/$2.count; the
# last entry repeats once the list is used up.
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
    [ "$n" -lt $# ] || n=$(($# - 1))
    shift "$n"
    echo "$1"
}

# Sends signal $1 to the installer that started this tool (the nearest
# ancestor named install), as if it were killed from outside while the tool
# runs.
kill_installer() {
    pid=$$
    while [ "$pid" -gt 1 ]; do
        pid=$(awk '{ print $4 }' "/proc/$pid/stat" 2>/dev/null) || return 1
        [ -n "$pid" ] || return 1
        if [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = install ]; then
            kill -s "$1" "$pid"
            return
        fi
    done
    return 1
}
